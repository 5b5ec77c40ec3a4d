#pragma once
// The package's own Authenticode signature, as a second layer beside the
// publisher's key: a signature the platform finds broken never runs, and a
// build may pin the certificates a signature has to come from.

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

enum class AuthenticodeState
{
    Unsigned,   // no signature at all (or a file kind without signatures)
    Verified,   // the platform accepts signature and chain
    Broken,     // the file does not match its signature, or the signer is expressly distrusted
    NotTrusted, // an intact signature the platform does not trust (root, expiry, usage, ...)
};

struct AuthenticodeResult
{
    AuthenticodeState state;
    LONG status; // the platform's verdict, for the log
    // SHA-256 of the signer certificate's encoded bytes, when there is one.
    std::optional<std::array<BYTE, 32>> signerSha256;
};

// Checks the file behind `file` (held open by the caller, so that what is
// checked is what runs); `path` names it for the platform.
AuthenticodeResult CheckAuthenticode(HANDLE file, const std::wstring& path);

// The signer thumbprints the build pins, from `module` (this program when
// null); empty when it pins none.
std::vector<std::array<BYTE, 32>> PinnedSignerThumbprints(HMODULE module = nullptr);

// The pins of the text the build embeds: thumbprints as hex, separated by
// ";", "," or white space. A text with anything else yields one pin that no
// certificate has, so that a damaged list refuses instead of pinning
// nothing.
std::vector<std::array<BYTE, 32>> ParsePinnedThumbprints(const std::string& text);

// Whether a package with this result may run. A broken signature never; with
// pins, only an intact signature whose signer is pinned. The platform's trust
// verdict alone decides nothing: it cannot be relied on everywhere.
bool AuthenticodeAllowsRun(const AuthenticodeResult& result, const std::vector<std::array<BYTE, 32>>& pins);

// One line for the log.
std::wstring DescribeAuthenticode(const AuthenticodeResult& result);
