#pragma once
// Whether a downloaded package is the one the offer names: its size and
// SHA-256, which in a build with the publisher's key are the ones the
// publisher signed. The bytes are
// hashed as they arrive, beside the transfer, so no second pass over the
// package is needed; the package's own Authenticode signature is a second
// layer.

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Sha256.h"
#include "support/Sha256Pipeline.h"

class PackageVerifier
{
  public:
    // What the offer (Offer.h), already judged, says the package is: its
    // size and SHA-256, when it names them; in a build with the publisher's
    // key the signed manifest binds both. `pins`: signer thumbprints the
    // package's Authenticode signature must match, if any.
    PackageVerifier(std::optional<uint64_t> size, std::optional<Sha256Digest> sha256,
                    std::vector<std::array<BYTE, 32>> pins);

    // The package's total as the server announces it; false when it is not
    // the size the record names.
    bool AcceptsTotal(uint64_t total);
    // Whether the bytes themselves are compared (the offer names a SHA-256):
    // only then are they hashed.
    bool ComparesBytes() const { return m_sha256.has_value(); }
    // The bytes start again from zero.
    void Restart();
    // Hashed beside the caller on a thread of its own, when compared at all.
    void Add(const void* data, size_t size);
    // Bytes held that nothing compares: counted, never read.
    void CountUncompared(uint64_t size) { m_hashed += size; }
    uint64_t Hashed() const { return m_hashed; }

    // After the last byte: the length and the SHA-256 as the offer names
    // them. False when one fails.
    bool Finish();
    // The package's Authenticode signature, through the caller's handle to
    // the complete file (`path` names it).
    bool AcceptsAuthenticode(HANDLE file, const std::wstring& path);

    // Which check failed, with what was expected and what was found.
    const std::wstring& Failure() const { return m_failure; }

  private:
    bool Fail(const std::wstring& failure);

    std::optional<uint64_t> m_size;
    std::optional<Sha256Digest> m_sha256;
    std::vector<std::array<BYTE, 32>> m_pins;
    std::unique_ptr<Sha256Pipeline> m_hash;
    uint64_t m_hashed = 0;
    std::wstring m_failure;
};
