#include "update/trust/PackageChecks.h"

#include "support/Sha256.h"
#include "support/SignatureEncoding.h"

namespace
{
bool IsWhiteSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// The platform's decoder is lenient about what it skips; a signature is
// taken only in the strict form, the one openssl writes: the base64
// alphabet, whole groups of four, padding at the end only, and no bit set
// that the padding leaves unused (another text for the same bytes).
bool IsStrictBase64(const std::wstring& text)
{
    size_t padding = 0;
    unsigned last = 0;
    for (wchar_t c : text)
    {
        const int value = c >= L'A' && c <= L'Z'   ? c - L'A'
                          : c >= L'a' && c <= L'z' ? c - L'a' + 26
                          : c >= L'0' && c <= L'9' ? c - L'0' + 52
                          : c == L'+'              ? 62
                          : c == L'/'              ? 63
                                                   : -1;
        if (c == L'=')
            ++padding;
        else if (value < 0 || padding > 0)
            return false;
        else
            last = static_cast<unsigned>(value);
    }
    // One "=" leaves the last character's two low bits unused, two its four.
    const unsigned unused = padding == 1 ? 0x3u : padding == 2 ? 0xFu : 0u;
    return !text.empty() && text.size() % 4 == 0 && padding <= 2 && (last & unused) == 0;
}
} // namespace

bool ParsePackageSize(const std::wstring& text, uint64_t& size)
{
    if (text.empty())
        return false;
    uint64_t value = 0;
    for (wchar_t c : text)
    {
        if (c < L'0' || c > L'9')
            return false;
        const unsigned digit = static_cast<unsigned>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    if (value == 0)
        return false;
    size = value;
    return true;
}

bool ParseSha256Hex(const std::wstring& text, std::array<BYTE, 32>& digest)
{
    const std::optional<Sha256Digest> parsed = DigestOfHex(text);
    if (parsed)
        digest = *parsed;
    return parsed.has_value();
}

bool ParseSignatureText(const std::wstring& text, std::array<BYTE, 64>& rawSignature)
{
    const std::wstring compact = WithoutWhiteSpace(text);
    if (!IsStrictBase64(compact))
        return false;
    const std::optional<std::vector<BYTE>> der = DecodeBase64(compact);
    return der && DerSignatureToRaw(*der, rawSignature);
}

std::wstring WithoutWhiteSpace(const std::wstring& text)
{
    std::wstring result;
    result.reserve(text.size());
    for (wchar_t c : text)
    {
        if (!IsWhiteSpace(c))
            result.push_back(c);
    }
    return result;
}
