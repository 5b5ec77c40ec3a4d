#pragma once
// Whether a downloaded package is the one the update record names, and, in
// a build with the publisher's key, one the publisher signed. The bytes are
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
#include "update/trust/PublisherKey.h"

// What the update record says the package must be.
struct PackageExpectation
{
    std::optional<uint64_t> size;
    std::optional<Sha256Digest> sha256;
    std::optional<std::array<BYTE, 64>> signature; // r||s
    // The manifest the signature covers (PackageManifest.h): the package's
    // name and version with the size and SHA-256; empty when there is none.
    std::string manifest;
};

// The record's texts ("" when absent) as an expectation; false, naming the
// value, when one is given but malformed.
bool ParsePackageExpectation(const std::wstring& size, const std::wstring& sha256,
                             const std::wstring& signature, PackageExpectation& expectation,
                             std::wstring& problem);

class PackageVerifier
{
  public:
    // `keyRequired`: the build embeds a publisher key; `key` is that key, or
    // nothing when it cannot be used (then nothing passes). `pins`: signer
    // thumbprints the package's Authenticode signature must match, if any.
    PackageVerifier(const PackageExpectation& expected, bool keyRequired, std::optional<PublisherKey> key,
                    std::vector<std::array<BYTE, 32>> pins);

    // Why no package could pass whatever arrives (a keyed build and a record
    // without size, SHA-256 or signature, or whose signature does not verify
    // over its manifest); empty when one can.
    const std::wstring& Precondition() const { return m_precondition; }

    // The package's total as the server announces it; false when it is not
    // the size the record names.
    bool AcceptsTotal(uint64_t total);
    // Whether the bytes themselves are compared (a SHA-256 in the record, or
    // a key in the build): only then are they hashed.
    bool ComparesBytes() const { return m_expected.sha256 || m_keyRequired; }
    // The bytes start again from zero.
    void Restart();
    // Hashed beside the caller on a thread of its own, when compared at all.
    void Add(const void* data, size_t size);
    // Bytes held that nothing compares: counted, never read.
    void CountUncompared(uint64_t size) { m_hashed += size; }
    uint64_t Hashed() const { return m_hashed; }

    // After the last byte: the length and the SHA-256 as the record asks
    // (which the signed manifest binds in a keyed build). False when one
    // fails.
    bool Finish();
    // The package's Authenticode signature, through the caller's handle to
    // the complete file (`path` names it).
    bool AcceptsAuthenticode(HANDLE file, const std::wstring& path);

    // Which check failed, with what was expected and what was found.
    const std::wstring& Failure() const { return m_failure; }

  private:
    bool Fail(const std::wstring& failure);
    bool VerifiesManifest() const;

    PackageExpectation m_expected;
    bool m_keyRequired;
    std::optional<PublisherKey> m_key;
    std::vector<std::array<BYTE, 32>> m_pins;
    std::unique_ptr<Sha256Pipeline> m_hash;
    uint64_t m_hashed = 0;
    std::wstring m_precondition;
    std::wstring m_failure;
};
