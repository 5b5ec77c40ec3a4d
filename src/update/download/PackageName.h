#pragma once
// Where the downloaded package is put: its name comes from the server's
// download address, so it is checked before it becomes a path.

#include <string>

// True when `name` is a plain file name that stays in the folder it is put
// in: not empty, no folder separators, drive or stream colons, wildcards,
// quotes, pipes or control characters, not made of dots only, no trailing
// dot or blank, and not a device name (whatever its extension, and with
// blanks before the dot).
bool IsPlainFileName(const std::wstring& name);

// True when `name` is plain and every file the download makes beside the
// package in `folder` (which ends with its separator) has a path within
// MAX_PATH - 1 characters.
bool IsUsablePackageName(const std::wstring& folder, const std::wstring& name);
