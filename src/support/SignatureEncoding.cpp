#include "support/SignatureEncoding.h"

#include <wincrypt.h>

namespace
{
// A decoded integer of the platform's blob is little-endian with room for a
// sign byte; copies it into 32 big-endian bytes, or false when it needs more.
bool PutBigEndian(const CRYPT_UINT_BLOB& blob, BYTE* out)
{
    DWORD length = blob.cbData;
    while (length > 0 && blob.pbData[length - 1] == 0)
        --length;
    if (length == 0 || length > 32)
        return false;
    for (DWORD i = 0; i < 32; ++i)
        out[31 - i] = i < length ? blob.pbData[i] : 0;
    return true;
}
// Moves `at` past the INTEGER there when it is in its one DER form: a short
// length, positive, and no leading zero byte it does not need. The
// platform's decoder takes other forms of the same number too.
bool SkipDerInteger(const std::vector<BYTE>& der, size_t& at)
{
    if (at + 3 > der.size() || der[at] != 0x02)
        return false;
    const size_t length = der[at + 1];
    const size_t from = at + 2;
    if (length == 0 || length >= 0x80 || from + length > der.size() || der[from] >= 0x80 ||
        (der[from] == 0 && length > 1 && der[from + 1] < 0x80))
        return false;
    at = from + length;
    return true;
}
} // namespace

std::optional<std::vector<BYTE>> DecodeBase64(const std::wstring& text)
{
    if (text.empty() || text.size() > 64 * 1024)
        return std::nullopt;
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(text.size());
    if (!::CryptStringToBinaryW(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr) ||
        size == 0)
        return std::nullopt;
    std::vector<BYTE> bytes(size);
    if (!::CryptStringToBinaryW(text.data(), length, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr,
                                nullptr))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

bool DerSignatureToRaw(const std::vector<BYTE>& der, std::array<BYTE, 64>& raw)
{
    // A P-256 signature never needs more than 72 bytes of DER.
    // Exactly one SEQUENCE with a short-form length that covers every byte,
    // of two INTEGERs in their DER form: the decoder below would also take
    // trailing bytes, and other forms of the same numbers.
    size_t at = 2;
    if (der.size() < 8 || der.size() > 80 || der[0] != 0x30 || der[1] != der.size() - 2 ||
        !SkipDerInteger(der, at) || !SkipDerInteger(der, at) || at != der.size())
        return false;
    CERT_ECC_SIGNATURE* decoded = nullptr;
    DWORD size = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_SIGNATURE, der.data(),
                               static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded,
                               &size) ||
        !decoded)
        return false;
    const bool ok = PutBigEndian(decoded->r, raw.data()) && PutBigEndian(decoded->s, raw.data() + 32);
    ::LocalFree(decoded);
    return ok;
}
