#include "fuzz/CheckRoutine.h"

#include <wincrypt.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "fuzz/Routines.h"
#include "support/Utf8.h"
#include "update/trust/PackageChecks.h"

const char kSeedSignature[] = "MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
                              "Te55Z4Y8cvIHGKAFoOQ=";
const char kSeedSha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

namespace
{
const char kCheckSize[] = "a size is taken exactly when the text writes one, and as written";
const char kCheckDigest[] = "a SHA-256 is taken exactly when the text writes one, and as written";
const char kCheckSignature[] =
    "a signature is taken exactly when the text is one in base64 and DER, as written";

std::optional<std::vector<BYTE>> PlatformBase64(const std::wstring& text)
{
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(text.size());
    if (text.empty() ||
        !::CryptStringToBinaryW(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        return std::nullopt;
    std::vector<BYTE> bytes(size);
    if (!::CryptStringToBinaryW(text.data(), length, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr,
                                nullptr))
        return std::nullopt;
    bytes.resize(size);
    // Back through the encoder: only its own form counts.
    DWORD units = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    if (bytes.empty() || !::CryptBinaryToStringW(bytes.data(), size, flags, nullptr, &units))
        return std::nullopt;
    std::wstring again(units, L'\0');
    if (!::CryptBinaryToStringW(bytes.data(), size, flags, &again[0], &units))
        return std::nullopt;
    again.resize(units);
    if (again != text)
        return std::nullopt;
    return bytes;
}

// The INTEGER at `at` as 32 big-endian bytes into `out`; moves `at` past it.
bool TakeInteger(const std::vector<BYTE>& der, size_t& at, BYTE* out)
{
    if (at + 2 > der.size() || der[at] != 0x02)
        return false;
    const size_t length = der[at + 1];
    const size_t from = at + 2;
    if (length == 0 || length >= 0x80 || from + length > der.size())
        return false;
    const bool padded = der[from] == 0x00;
    // Positive, not zero, and no byte more than its shortest form needs.
    if (der[from] >= 0x80 || (padded && (length == 1 || der[from + 1] < 0x80)))
        return false;
    const size_t significant = length - (padded ? 1 : 0);
    if (significant > 32)
        return false;
    std::fill(out, out + 32, BYTE{0});
    std::copy(der.begin() + static_cast<long>(from + length - significant),
              der.begin() + static_cast<long>(from + length), out + 32 - significant);
    at = from + length;
    return true;
}
// The package checks' parsers, judged by the oracles below.
void RunChecks(const std::string& input, Checker& check)
{
    std::wstring text;
    Utf8ToWide(text, input.data(), input.size());
    uint64_t size = 0;
    std::array<BYTE, 32> digest{};
    std::array<BYTE, 64> raw{};
    const bool sizeTaken = ParsePackageSize(text, size);
    const bool digestTaken = ParseSha256Hex(text, digest);
    const bool signatureTaken = ParseSignatureText(text, raw);
    check.Untimed(
        [&]
        {
            const auto sizeWritten = SizeWritten(text);
            const auto digestWritten = DigestWritten(text);
            const auto signatureWritten = SignatureWritten(text);
            check.Expect(kCheckSize,
                         sizeTaken == sizeWritten.has_value() && (!sizeTaken || size == *sizeWritten),
                         sizeTaken ? "a size taken that the text does not write" : "a size refused");
            check.Expect(kCheckDigest,
                         digestTaken == digestWritten.has_value() &&
                             (!digestTaken || digest == *digestWritten),
                         digestTaken ? "a digest taken that the text does not write" : "a digest refused");
            check.Expect(kCheckSignature,
                         signatureTaken == signatureWritten.has_value() &&
                             (!signatureTaken || raw == *signatureWritten),
                         signatureTaken ? "a signature taken that the text does not write"
                                        : "a signature refused");
        });
}
} // namespace

std::optional<uint64_t> SizeWritten(const std::wstring& text)
{
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    const std::wstring digits = text.substr(std::min(text.find_first_not_of(L'0'), text.size()));
    const std::wstring largest = L"18446744073709551615";
    if (digits.empty() || digits.size() > largest.size() ||
        (digits.size() == largest.size() && digits > largest))
        return std::nullopt;
    return std::wcstoull(digits.c_str(), nullptr, 10);
}

std::optional<std::array<BYTE, 32>> DigestWritten(const std::wstring& text)
{
    if (text.size() != 64 || text.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
        return std::nullopt;
    std::array<BYTE, 32> digest{};
    for (size_t i = 0; i < 32; ++i)
        digest[i] = static_cast<BYTE>(std::wcstoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
    return digest;
}

std::optional<std::array<BYTE, 64>> SignatureWritten(const std::wstring& text)
{
    std::wstring compact;
    for (wchar_t c : text)
    {
        if (!c || !std::wcschr(L" \t\n\v\f\r", c))
            compact += c;
    }
    const std::optional<std::vector<BYTE>> der = PlatformBase64(compact);
    if (!der || der->size() < 2 || (*der)[0] != 0x30 || (*der)[1] >= 0x80 || (*der)[1] != der->size() - 2)
        return std::nullopt;
    std::array<BYTE, 64> raw{};
    size_t at = 2;
    if (!TakeInteger(*der, at, raw.data()) || !TakeInteger(*der, at, raw.data() + 32) || at != der->size())
        return std::nullopt;
    return raw;
}

void AddCheckRoutine(std::vector<Routine>& routines)
{
    routines.push_back({"checks",
                        {"1048576", kSeedSha256, kSeedSignature, "007"},
                        [](Generator& random)
                        {
                            const std::string long64 = Repeat("QUJD", random.Size(30000));
                            return random.Pick(
                                std::vector<std::string>{std::string(20, '9'), std::string(64, 'F'),
                                                         " " + std::string(kSeedSignature) + "\n", long64,
                                                         "MA==", "MAYCAQECAQE=", "MAYCAQACAQE="});
                        },
                        RunChecks,
                        {kCheckSize, kCheckDigest, kCheckSignature}});
}
