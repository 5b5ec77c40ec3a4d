#include "update/IniText.h"

#include <cstring>

bool IsUtf8Text(const unsigned char* data, size_t length)
{
    auto isContinuation = [](unsigned char b) { return b >= 0x80 && b <= 0xBF; };
    size_t i = 0;
    while (i < length)
    {
        const unsigned char lead = data[i];
        if (lead < 0x80)
        {
            i += 1;
        }
        else if (lead <= 0xBF)
        {
            return false;
        }
        else if (lead <= 0xDF)
        {
            if (i + 1 >= length)
                return true;
            if (!isContinuation(data[i + 1]))
                return false;
            i += 2;
        }
        else if (lead <= 0xEF)
        {
            if (i + 2 >= length)
                return true;
            if (!isContinuation(data[i + 1]) || !isContinuation(data[i + 2]))
                return false;
            i += 3;
        }
        else if (lead <= 0xF4)
        {
            // Characters beyond U+FFFF (emoji in a description): without them
            // the test would send a UTF-8 file down the ANSI road.
            if (i + 3 >= length)
                return true;
            if (!isContinuation(data[i + 1]) || !isContinuation(data[i + 2]) || !isContinuation(data[i + 3]))
                return false;
            i += 4;
        }
        else
        {
            return false;
        }
    }
    return true;
}

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool EqualsIgnoringAsciiCase(const char* a, size_t aLength, const std::string& b)
{
    if (aLength != b.size())
        return false;
    for (size_t i = 0; i < aLength; ++i)
    {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void TrimBlanks(const char*& begin, const char*& end)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
}
} // namespace

bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string& value)
{
    const char* pos = text.data();
    const char* const textEnd = pos + strnlen(pos, text.size());
    bool inSection = false;
    bool sectionSeen = false;

    while (pos < textEnd)
    {
        const char* lineEnd = pos;
        while (lineEnd < textEnd && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        const char* next = lineEnd;
        while (next < textEnd && (*next == '\n' || *next == '\r'))
            ++next;

        const char* begin = pos;
        const char* end = lineEnd;
        TrimBlanks(begin, end);
        pos = next;
        if (begin == end)
            continue;

        if (*begin == '[')
        {
            const char* close = end;
            while (close > begin && close[-1] != ']')
                --close;
            if (close > begin + 1)
            {
                // Only the first section of that name counts.
                if (inSection)
                    return false;
                const char* nameBegin = begin + 1;
                const char* nameEnd = close - 1;
                inSection = !sectionSeen && EqualsIgnoringAsciiCase(nameBegin, nameEnd - nameBegin, section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
        }
        if (!inSection)
            continue;

        const char* equals = static_cast<const char*>(memchr(begin, '=', end - begin));
        const char* nameEnd = equals ? equals : end;
        const char* nameBegin = begin;
        TrimBlanks(nameBegin, nameEnd);
        if (!EqualsIgnoringAsciiCase(nameBegin, nameEnd - nameBegin, key))
            continue;

        const char* valueBegin = equals ? equals + 1 : end;
        const char* valueEnd = end;
        TrimBlanks(valueBegin, valueEnd);
        if (valueEnd - valueBegin >= 2 && (*valueBegin == '"' || *valueBegin == '\'') &&
            valueEnd[-1] == *valueBegin)
        {
            ++valueBegin;
            --valueEnd;
        }
        value.assign(valueBegin, valueEnd);
        return true;
    }
    return false;
}
