#include "update/download/RangeAnswer.h"

#include <cwctype>

namespace
{
// Decimal digits at `pos`, advanced past them; false when there are none or
// the value does not fit.
bool ReadNumber(const std::wstring& text, size_t& pos, uint64_t& value)
{
    const size_t start = pos;
    value = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos)
    {
        const uint64_t digit = static_cast<uint64_t>(text[pos] - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return pos > start;
}

void SkipBlanks(const std::wstring& text, size_t& pos)
{
    while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t'))
        ++pos;
}
} // namespace

bool ParseContentLength(const std::wstring& text, uint64_t& length)
{
    size_t pos = 0;
    while (pos < text.size() && std::iswspace(text[pos]))
        ++pos;
    uint64_t value = 0;
    if (!ReadNumber(text, pos, value) || value == 0)
        return false;
    length = value;
    return true;
}

bool ParseContentRange(const std::wstring& text, ContentRange& range)
{
    size_t pos = 0;
    SkipBlanks(text, pos);
    if (text.compare(pos, 5, L"bytes") != 0)
        return false;
    pos += 5;
    SkipBlanks(text, pos);
    ContentRange parsed;
    if (!ReadNumber(text, pos, parsed.first) || pos >= text.size() || text[pos++] != L'-' ||
        !ReadNumber(text, pos, parsed.last) || pos >= text.size() || text[pos++] != L'/' ||
        !ReadNumber(text, pos, parsed.total))
        return false;
    SkipBlanks(text, pos);
    if (pos != text.size() || parsed.first > parsed.last || parsed.last >= parsed.total)
        return false;
    range = parsed;
    return true;
}

RangeVerdict JudgeRangeAnswer(uint64_t offset, uint64_t total, unsigned status,
                              const std::wstring& contentRange, const std::wstring& contentLength)
{
    if (status == 200)
        return RangeVerdict::Restart;
    ContentRange range;
    if (status != 206 || !ParseContentRange(contentRange, range) || range.first != offset ||
        range.total != total || range.last != total - 1)
        return RangeVerdict::Refused;
    uint64_t length = 0;
    if (!contentLength.empty() && (!ParseContentLength(contentLength, length) || length != total - offset))
        return RangeVerdict::Refused;
    return RangeVerdict::Append;
}

bool IsWeakEntityTag(const std::wstring& etag)
{
    size_t pos = 0;
    SkipBlanks(etag, pos);
    return etag.compare(pos, 2, L"W/") == 0;
}

bool AnswerKeepsValidator(const std::wstring& sent, const std::wstring& etag,
                          const std::wstring& lastModified)
{
    // An entity tag is quoted; a date never starts with a quote.
    const bool sentTag = !sent.empty() && (sent[0] == L'"' || IsWeakEntityTag(sent));
    return !sent.empty() && (sentTag ? etag : lastModified) == sent;
}
