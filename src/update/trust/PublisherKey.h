#pragma once
// The publisher's ECDSA P-256 public key, which a build may embed: with it,
// only packages signed with the publisher's private key may run.

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "support/BCryptHandles.h"

class PublisherKey
{
  public:
    // A PEM "PUBLIC KEY" (SubjectPublicKeyInfo) of an ECDSA key on the P-256
    // curve; nothing for any other key, curve or text.
    static std::optional<PublisherKey> FromPem(const std::string& pem);
    // The key embedded in `module` (this program when null); nothing when
    // the build embeds none or it cannot be used.
    static std::optional<PublisherKey> LoadEmbedded(HMODULE module = nullptr);

    PublisherKey(PublisherKey&& other) noexcept = default;
    PublisherKey& operator=(PublisherKey&& other) noexcept;

    // Whether `rawSignature` (r||s, each 32 big-endian bytes) signs the
    // SHA-256 digest `sha256` with this key.
    bool Verify(const std::array<BYTE, 32>& sha256, const std::array<BYTE, 64>& rawSignature) const;

  private:
    PublisherKey(BCryptAlgorithm algorithm, BCryptKey key);

    BCryptAlgorithm m_algorithm;
    BCryptKey m_key;
};

// Whether `module` (this program when null) embeds a publisher key, usable or
// not. A build that embeds one must refuse every package when the key cannot
// be loaded, so callers take "embedded" as "a key is required".
bool HasEmbeddedPublisherKey(HMODULE module = nullptr);
