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
    // Exactly one SEQUENCE with a short-form length that covers every byte:
    // the decoder below would also take trailing bytes.
    if (der.size() < 8 || der.size() > 80 || der[0] != 0x30 || der[1] != der.size() - 2)
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
