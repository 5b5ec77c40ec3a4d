#pragma once
// Versions as dotted numbers ("3.0.12.1"), compared the way the publisher
// numbers releases: component by component, numerically.

#include <optional>
#include <string>

// -1, 0 or 1 as `a` is older than, the same as or newer than `b`. Each is
// decimal numbers separated by single dots (leading zeros allowed, any
// length); an empty text has no components. Missing components count as 0,
// so "3.0" is "3" and "3.0.0.0". Nothing when either text is anything else.
std::optional<int> CompareDottedVersions(const std::wstring& a, const std::wstring& b);
