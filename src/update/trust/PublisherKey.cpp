#include "update/trust/PublisherKey.h"

#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "resource.h"
#include "support/RawResource.h"

namespace
{
// The curve parameter of a P-256 key: the DER of OID 1.2.840.10045.3.1.7.
const BYTE kP256Curve[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
const size_t kCoordinate = 32;

std::optional<std::vector<BYTE>> DerOfPem(const std::string& pem)
{
    if (pem.empty() || pem.size() > 16 * 1024 || pem.find("-----BEGIN PUBLIC KEY-----") == std::string::npos)
        return std::nullopt;
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(pem.size());
    if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                                nullptr) ||
        size == 0)
        return std::nullopt;
    std::vector<BYTE> der(size);
    if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                nullptr))
        return std::nullopt;
    der.resize(size);
    return der;
}

// The uncompressed point 0x04||X||Y of a P-256 SubjectPublicKeyInfo, as
// the platform's public-key blob.
std::optional<std::vector<BYTE>> EccBlobOfDer(const std::vector<BYTE>& der)
{
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(),
                               static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                               &size) ||
        !info)
        return std::nullopt;
    std::optional<std::vector<BYTE>> blob;
    const CRYPT_ALGORITHM_IDENTIFIER& algorithm = info->Algorithm;
    const CRYPT_BIT_BLOB& point = info->PublicKey;
    if (algorithm.pszObjId && std::strcmp(algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0 &&
        algorithm.Parameters.cbData == sizeof kP256Curve &&
        std::memcmp(algorithm.Parameters.pbData, kP256Curve, sizeof kP256Curve) == 0 &&
        point.cUnusedBits == 0 && point.cbData == 1 + 2 * kCoordinate && point.pbData[0] == 0x04)
    {
        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinate};
        blob.emplace(sizeof header + 2 * kCoordinate);
        std::memcpy(blob->data(), &header, sizeof header);
        std::memcpy(blob->data() + sizeof header, point.pbData + 1, 2 * kCoordinate);
    }
    ::LocalFree(info);
    return blob;
}
} // namespace

PublisherKey::PublisherKey(BCryptAlgorithm algorithm, BCryptKey key)
    : m_algorithm(std::move(algorithm)), m_key(std::move(key))
{
}

PublisherKey& PublisherKey::operator=(PublisherKey&& other) noexcept
{
    // Our key goes before the provider it came from.
    m_key.Reset();
    m_algorithm = std::move(other.m_algorithm);
    m_key = std::move(other.m_key);
    return *this;
}

std::optional<PublisherKey> PublisherKey::FromPem(const std::string& pem)
{
    const auto der = DerOfPem(pem);
    const auto blob = der ? EccBlobOfDer(*der) : std::nullopt;
    if (!blob)
        return std::nullopt;
    BCryptAlgorithm algorithm;
    BCryptKey key;
    // The generic "ECDSA" provider is not available everywhere; the curve's
    // own one is.
    if (::BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
        return std::nullopt;
    if (::BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Receive(),
                              const_cast<PUCHAR>(blob->data()), static_cast<ULONG>(blob->size()), 0) < 0)
        return std::nullopt;
    return PublisherKey(std::move(algorithm), std::move(key));
}

std::optional<PublisherKey> PublisherKey::LoadEmbedded(HMODULE module)
{
    const auto pem = LoadRawResource(module, IDR_PUBLISHER_KEY);
    return pem ? FromPem(*pem) : std::nullopt;
}

bool PublisherKey::Verify(const std::array<BYTE, 32>& sha256, const std::array<BYTE, 64>& rawSignature) const
{
    return m_key &&
           ::BCryptVerifySignature(m_key.Get(), nullptr, const_cast<PUCHAR>(sha256.data()),
                                   static_cast<ULONG>(sha256.size()), const_cast<PUCHAR>(rawSignature.data()),
                                   static_cast<ULONG>(rawSignature.size()), 0) == 0;
}

bool HasEmbeddedPublisherKey(HMODULE module)
{
    return LoadRawResource(module, IDR_PUBLISHER_KEY).has_value();
}
