#pragma once
// What the publisher signs: a short text that binds the package's name, the
// version it is offered as, its size and its SHA-256. A signature over the
// package's bytes alone would let an older release's signed answer be
// replayed under a new version; over the manifest it cannot.

#include <optional>
#include <string>

#include "support/Sha256.h"

// The manifest's first line, which names its form.
extern const char kManifestHeading[];

// The manifest's UTF-8 text: the heading, then "name=", "version=", "size="
// (decimal) and "sha256=" (lower-case hex) lines, each ended by a line feed.
// Nothing when the name is empty, or the name or version holds a line break,
// a zero or half a surrogate pair: such a value could forge another line.
std::optional<std::string> FormatPackageManifest(const std::wstring& name, const std::wstring& version,
                                                 uint64_t size, const Sha256Digest& sha256);
