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
    "a signature is taken exactly when the text is the platform's base64 of its one DER form, as written";

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

// The length at `at` in any of BER's definite forms; moves `at` past it.
std::optional<size_t> TakeLength(const std::vector<BYTE>& der, size_t& at)
{
    if (at >= der.size())
        return std::nullopt;
    const BYTE first = der[at++];
    if (first < 0x80)
        return first;
    size_t length = 0;
    for (BYTE n = first & 0x7F; n > 0; --n)
    {
        if (at >= der.size() || length > 0xFFFF)
            return std::nullopt;
        length = length * 256 + der[at++];
    }
    return length;
}

// The INTEGER at `at`, leading zero bytes left out, as 32 big-endian bytes
// into `out`; moves `at` past it.
bool TakeValue(const std::vector<BYTE>& der, size_t& at, BYTE* out)
{
    if (at >= der.size() || der[at++] != 0x02)
        return false;
    const std::optional<size_t> length = TakeLength(der, at);
    if (!length || *length > der.size() - at)
        return false;
    size_t from = at;
    at += *length;
    while (from < at && der[from] == 0)
        ++from;
    if (at - from > 32)
        return false;
    std::fill(out, out + 32, BYTE{0});
    std::copy(der.begin() + static_cast<long>(from), der.begin() + static_cast<long>(at),
              out + 32 - (at - from));
    return true;
}

const char kTaken[] = "taken";
const char kRefused[] = "refused";

std::optional<std::vector<BYTE>> SignatureBytes(const std::wstring& text)
{
    std::wstring compact;
    for (wchar_t c : text)
    {
        if (!c || !std::wcschr(L" \t\n\v\f\r", c))
            compact += c;
    }
    return PlatformBase64(compact);
}

// r||s as a SEQUENCE of two INTEGERs of at most 32 significant bytes
// writes them, whatever the form of its lengths and leading zeros.
std::optional<std::array<BYTE, 64>> SignatureValues(const std::vector<BYTE>& der)
{
    size_t at = 0;
    if (der.empty() || der[at++] != 0x30)
        return std::nullopt;
    const std::optional<size_t> length = TakeLength(der, at);
    std::array<BYTE, 64> raw{};
    if (!length || *length != der.size() - at || !TakeValue(der, at, raw.data()) ||
        !TakeValue(der, at, raw.data() + 32) || at != der.size())
        return std::nullopt;
    return raw;
}

// What a DER encoder writes for a positive number: its bytes without
// leading zeros, one zero before a first byte whose top bit is set.
std::vector<BYTE> DerInteger(const BYTE* number)
{
    const BYTE* first = std::find_if(number, number + 32, [](BYTE b) { return b != 0; });
    std::vector<BYTE> value(first, number + 32);
    if (!value.empty() && value[0] >= 0x80)
        value.insert(value.begin(), 0x00);
    value.insert(value.begin(), {0x02, static_cast<BYTE>(value.size())});
    return value;
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
            check.Expect(kCheckSize, sizeTaken ? kTaken : kRefused,
                         sizeTaken == sizeWritten.has_value() && (!sizeTaken || size == *sizeWritten),
                         sizeTaken ? "a size taken that the text does not write" : "a size refused");
            const auto digestWritten = DigestWritten(text);
            check.Expect(kCheckDigest, digestTaken ? kTaken : kRefused,
                         digestTaken == digestWritten.has_value() &&
                             (!digestTaken || digest == *digestWritten),
                         digestTaken ? "a digest taken that the text does not write" : "a digest refused");
            const auto signatureWritten = SignatureWritten(text);
            check.Expect(kCheckSignature, signatureTaken ? kTaken : kRefused,
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
    const auto bytes = SignatureBytes(text);
    const auto values = bytes ? SignatureValues(*bytes) : std::nullopt;
    if (!values || std::all_of(values->begin(), values->begin() + 32, [](BYTE b) { return b == 0; }) ||
        std::all_of(values->begin() + 32, values->end(), [](BYTE b) { return b == 0; }))
        return std::nullopt;
    std::vector<BYTE> der = DerInteger(values->data());
    const std::vector<BYTE> s = DerInteger(values->data() + 32);
    der.insert(der.end(), s.begin(), s.end());
    der.insert(der.begin(), {0x30, static_cast<BYTE>(der.size())});
    return der == *bytes ? values : std::nullopt;
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
                        {{kCheckSize, {kTaken, kRefused}},
                         {kCheckDigest, {kTaken, kRefused}},
                         {kCheckSignature, {kTaken, kRefused}}}});
}
