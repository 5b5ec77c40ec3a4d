#include "update/record/IniText.h"

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

bool IsIniBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A;
}

bool SameIniName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

namespace
{
std::wstring_view Trimmed(std::wstring_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsIniBlank(text[begin]))
        ++begin;
    while (end > begin && IsIniBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Trimmed first, then cut at the first zero: blanks before a zero stay.
std::wstring_view TrimmedAndCut(std::wstring_view text)
{
    text = Trimmed(text);
    return text.substr(0, text.find(L'\0'));
}
} // namespace

IniLine ReadIniLine(std::wstring_view text, size_t pos)
{
    IniLine line;
    line.begin = pos;
    size_t end = pos;
    while (end < text.size() && text[end] != L'\r' && text[end] != L'\n')
        ++end;
    line.next = end;
    while (line.next < text.size() && (text[line.next] == L'\r' || text[line.next] == L'\n'))
        ++line.next;

    const std::wstring_view content = Trimmed(text.substr(pos, end - pos));
    if (content.empty())
        return line;
    if (content[0] == L'[')
    {
        const size_t close = content.rfind(L']');
        if (close != std::wstring_view::npos && close > 0)
        {
            line.kind = IniLine::Section;
            line.name = TrimmedAndCut(content.substr(1, close - 1));
            return line;
        }
    }
    line.kind = IniLine::Entry;
    const size_t equals = content.find(L'=');
    line.name = TrimmedAndCut(content.substr(0, equals));
    if (equals == std::wstring_view::npos)
        return line;
    line.hasValue = true;
    line.value = TrimmedAndCut(content.substr(equals + 1));
    const wchar_t quote = line.value.empty() ? L'\0' : line.value.front();
    if (line.value.size() >= 2 && (quote == L'"' || quote == L'\'') && line.value.back() == quote)
        line.value = line.value.substr(1, line.value.size() - 2);
    return line;
}

bool FindIniValue(std::wstring_view text, std::wstring_view section, std::wstring_view key,
                  std::wstring& value)
{
    // The names asked for are trimmed as the file's are.
    section = Trimmed(section);
    key = Trimmed(key);
    bool inSection = false;
    for (size_t pos = 0; pos < text.size();)
    {
        const IniLine line = ReadIniLine(text, pos);
        pos = line.next;
        if (line.kind == IniLine::Section)
        {
            // Only the first section of that name counts.
            if (inSection)
                return false;
            inSection = SameIniName(line.name, section);
        }
        else if (inSection && line.kind == IniLine::Entry && SameIniName(line.name, key))
        {
            if (!line.hasValue)
                return false;
            value.assign(line.value);
            return true;
        }
    }
    return false;
}
