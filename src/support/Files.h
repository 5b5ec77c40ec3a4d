#pragma once
// Reading files whole or in part, and the system's temporary folder.

#include <windows.h>

#include <optional>
#include <string>

// The first `limit` bytes of a file (all of it when shorter); what was read
// before a read error. Empty when the file cannot be opened.
std::optional<std::string> ReadFileHead(const wchar_t* path, size_t limit);

// The whole file; empty when it cannot be opened or is larger than `limit`.
std::optional<std::string> ReadWholeFile(const wchar_t* path, size_t limit);

// The temporary folder as the system gives it, with its trailing backslash;
// empty when it does not fit a path buffer.
std::wstring TemporaryFolder();

// A new program is often held open for seconds by another one (a virus
// scanner reading it) just when it is named or started: such a step is tried
// again every kHeldFileRetryMs for up to kHeldFileRetryLimitMs.
constexpr DWORD kHeldFileRetryMs = 500;
constexpr DWORD kHeldFileRetryLimitMs = 15000;

// True for the errors of a file another program holds: a sharing or a lock
// violation.
bool IsHeldFileError(DWORD error);
