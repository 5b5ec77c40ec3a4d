#pragma once
// SHA-256 in pieces, with the platform's cryptography (CNG), so that a
// package is hashed as its bytes arrive.

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "support/BCryptHandles.h"

using Sha256Digest = std::array<BYTE, 32>;

class Sha256
{
  public:
    // Never throws; IsValid() tells whether the platform gave a hash.
    Sha256();
    // Movable into place, but not assignable: an assignment would free the
    // old state before the platform is done with it.
    Sha256(Sha256&&) noexcept = default;
    Sha256& operator=(Sha256&&) = delete;

    // False when the platform refused the hash or a piece of it, and after
    // Finish.
    bool IsValid() const { return m_valid; }
    // Any sizes, any number of calls.
    void Update(const void* data, size_t size);
    // The digest of everything given to Update; once. All zero when the hash
    // is not valid.
    Sha256Digest Finish();

  private:
    BCryptAlgorithm m_algorithm;
    // The hash keeps its state here; owned for the platform, which wants the
    // caller to provide it before Windows 8.
    std::vector<BYTE> m_state;
    BCryptHash m_hash;
    bool m_valid = false;
};

// Lower-case hex, for logs and comparisons with published values.
std::wstring HexOfDigest(const Sha256Digest& digest);

// 64 hex digits in either case; nothing for anything else.
std::optional<Sha256Digest> DigestOfHex(const std::wstring& hex);
