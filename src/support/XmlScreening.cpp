#include "support/XmlScreening.h"

#include <cstdint>
#include <cstring>

namespace
{
const char kDoctype[] = "<!DOCTYPE";

// A text read unit by unit as ASCII, whatever its encoding: `at(i)` gives
// unit i as its character, or 0x80 for a unit outside ASCII.
template <typename UnitAt> class AsciiUnits
{
  public:
    AsciiUnits(size_t count, UnitAt at) : m_count(count), m_at(at) {}

    size_t Count() const { return m_count; }
    char At(size_t i) const { return m_at(i); }
    bool StartsAt(size_t i, const char* pattern, bool ignoreCase = false) const
    {
        for (; *pattern; ++pattern, ++i)
        {
            if (i >= m_count)
                return false;
            char c = m_at(i);
            if (ignoreCase && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != *pattern)
                return false;
        }
        return true;
    }
    size_t Find(size_t from, const char* pattern, bool ignoreCase = false) const
    {
        for (size_t i = from; i < m_count; ++i)
        {
            if (StartsAt(i, pattern, ignoreCase))
                return i;
        }
        return std::string::npos;
    }

  private:
    size_t m_count;
    UnitAt m_at;
};

template <typename At> AsciiUnits<At> MakeAsciiUnits(size_t count, At at)
{
    return AsciiUnits<At>(count, at);
}

// A document type declaration can only stand in the prolog: after the XML
// declaration, comments, processing instructions and white space, before
// the document element. Inside the element (in a CDATA section, a comment
// or an attribute) the same characters are only text. Anything a
// well-formed prolog cannot hold ends the reading: then any declaration
// later in the text counts, a false alarm only refusing a broken document.
template <typename Units> bool PrologHasDoctype(const Units& units)
{
    size_t i = 0;
    while (i < units.Count())
    {
        const char c = units.At(i);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
        {
            ++i;
            continue;
        }
        const bool comment = units.StartsAt(i, "<!--");
        if (comment || units.StartsAt(i, "<?"))
        {
            const size_t close = units.Find(i + 2, comment ? "-->" : "?>");
            // Unterminated: all that follows is inside it, and the parse fails.
            if (close == std::string::npos)
                return false;
            i = close + (comment ? 3 : 2);
            continue;
        }
        if (c == '<' && i + 1 < units.Count() && units.At(i + 1) != '!')
            return false; // the document element
        return units.Find(i, kDoctype, true) != std::string::npos;
    }
    return false;
}

// The component reports every "--" inside a comment and parses on; in some
// implementations each report costs a fraction of a millisecond, so a reply
// of many broken comments would hold the check for minutes. A comment whose
// first "--" does not end it (or that never ends) makes the document
// ill-formed anyway, and it is refused before the component sees it.
// CDATA sections and processing instructions may hold the characters.
template <typename Units> bool HasMalformedComment(const Units& units)
{
    for (size_t i = units.Find(0, "<"); i != std::string::npos; i = units.Find(i, "<"))
    {
        const char* close = units.StartsAt(i, "<![CDATA[") ? "]]>" : units.StartsAt(i, "<?") ? "?>" : nullptr;
        if (close)
        {
            const size_t end = units.Find(i + 2, close);
            if (end == std::string::npos)
                return false;
            i = end + strlen(close);
        }
        else if (units.StartsAt(i, "<!--"))
        {
            const size_t end = units.Find(i + 4, "--");
            if (end == std::string::npos || !units.StartsAt(end, "-->"))
                return true;
            i = end + 3;
        }
        else
        {
            ++i;
        }
    }
    return false;
}

// Whether `check` holds for the bytes of a file read in any form the
// component could take it in: it detects the encoding itself, from a
// byte-order mark or the first characters.
template <typename Check> bool AnyReading(const std::string& bytes, Check check)
{
    struct Form
    {
        size_t width;
        bool bigEndian;
        const char* mark;
    };
    const Form forms[] = {{1, false, "\xEF\xBB\xBF"},
                          {2, false, "\xFF\xFE"},
                          {2, true, "\xFE\xFF"},
                          {4, false, "\xFF\xFE\0\0"},
                          {4, true, "\0\0\xFE\xFF"}};
    for (const Form& form : forms)
    {
        const size_t markLength = form.width == 1 ? 3 : form.width;
        const size_t start = bytes.compare(0, markLength, form.mark, markLength) == 0 ? markLength : 0;
        const auto at = [&bytes, &form, start](size_t i)
        {
            uint32_t unit = 0;
            for (size_t k = 0; k < form.width; ++k)
            {
                const size_t byte = form.bigEndian ? k : form.width - 1 - k;
                unit = unit << 8 | static_cast<unsigned char>(bytes[start + i * form.width + byte]);
            }
            return unit < 0x80 ? static_cast<char>(unit) : '\x80';
        };
        if (check(MakeAsciiUnits((bytes.size() - start) / form.width, at)))
            return true;
    }
    return false;
}

template <typename Units> bool IsRefused(const Units& units)
{
    return PrologHasDoctype(units) || HasMalformedComment(units);
}

template <typename Check> bool OfText(const std::wstring& text, Check check)
{
    return check(MakeAsciiUnits(text.size(), [&text](size_t i)
                                { return text[i] < 0x80 ? static_cast<char>(text[i]) : '\x80'; }));
}

} // namespace

bool HasDoctypeDeclaration(const std::wstring& text)
{
    return OfText(text, [](const auto& units) { return PrologHasDoctype(units); });
}

bool HasDoctypeDeclaration(const std::string& bytes)
{
    return AnyReading(bytes, [](const auto& units) { return PrologHasDoctype(units); });
}

bool IsRefusedBeforeParsing(const std::wstring& text)
{
    return OfText(text, [](const auto& units) { return IsRefused(units); });
}

bool IsRefusedBeforeParsing(const std::string& bytes)
{
    return AnyReading(bytes, [](const auto& units) { return IsRefused(units); });
}
