#include "support/Utf8.h"

#include "support/CodePages.h"

#include <versionhelpers.h>
#include <cstdint>

namespace
{
// Number of leading one bits of a byte: 1 for a stray continuation byte,
// 2..4 for the usual lead bytes, up to 8 for 0xFF.
int LeadingOnes(unsigned char b)
{
    int count = 0;
    while (count < 8 && (b & (0x80u >> count)))
        ++count;
    return count;
}

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0u) == 0x80u;
}

// Only a well-formed four-byte form is turned into a pair; anything else
// with four bytes keeps the decoder's old single-unit result, so that the
// handling of malformed input does not change.
bool IsValidFourByteForm(const unsigned char* bytes, uint32_t value)
{
    return bytes[0] >= 0xF0 && bytes[0] <= 0xF4 && IsContinuation(bytes[1]) && IsContinuation(bytes[2]) &&
           IsContinuation(bytes[3]) && value >= 0x10000 && value <= 0x10FFFF;
}

UINT ChooseConversionCodePage()
{
    if (::IsWindowsVersionOrGreater(5, 0, 0))
        return CP_THREAD_ACP;
    return LegacyConversionCodePage(::GetThreadLocale());
}
} // namespace

void Utf8ToWide(std::wstring& out, const char* input, size_t length)
{
    out.clear();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(input);
    size_t i = 0;
    while (i < length)
    {
        const unsigned char lead = bytes[i];
        if (lead < 0x80)
        {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        const int count = LeadingOnes(lead);
        // A sequence that the end of the input cuts off is dropped whole:
        // its bytes cannot say which character was meant, and guessing from
        // the bytes that are there would put a character into the text that
        // the sender never wrote. Nothing is read past the input.
        if (length - i < static_cast<size_t>(count))
            break;
        // Unsigned arithmetic: the 0xFF form shifts in 42 bits, of which only
        // the low 16 are kept.
        uint32_t value = count == 8 ? 0u : (lead & (0xFFu >> count));
        for (int k = 1; k < count; ++k)
            value = value * 64u + (bytes[i + k] & 0x3Fu);
        if (count == 4 && IsValidFourByteForm(bytes + i, value))
        {
            const uint32_t offset = value - 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
        }
        else
        {
            out.push_back(static_cast<wchar_t>(value & 0xFFFFu));
        }
        i += static_cast<size_t>(count);
    }
}

UINT LegacyConversionCodePage(LCID locale)
{
    // The locale reports its code page as decimal text of at most six digits.
    wchar_t text[7] = {};
    if (::GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE, text, 7) == 0)
        return ::GetACP();
    UINT codePage = 0;
    for (const wchar_t* p = text; *p >= L'0' && *p <= L'9'; ++p)
        codePage = codePage * 10 + static_cast<UINT>(*p - L'0');
    return codePage != 0 ? codePage : ::GetACP();
}

UINT ConversionCodePage()
{
    static const UINT codePage = ChooseConversionCodePage();
    return codePage;
}

std::wstring NarrowToWide(const std::string& text)
{
    return DecodeText(text, ConversionCodePage());
}

std::string WideToNarrow(const std::wstring& text)
{
    return EncodeText(text, ConversionCodePage());
}
