#pragma once
// Reading files whole or in part, what the file system says of a file and
// of its disk, the system's temporary folder, and steps on a file another
// program holds.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The first `limit` bytes of a file (all of it when shorter); what was read
// before a read error. Empty when the file cannot be opened.
std::optional<std::string> ReadFileHead(const wchar_t* path, size_t limit);

// The whole file; empty when it cannot be opened or is larger than `limit`.
std::optional<std::string> ReadWholeFile(const wchar_t* path, size_t limit);

// What the file system says of a file without opening it; nothing when it
// is missing or cannot be asked.
struct FileFacts
{
    uint64_t length = 0;
    ULONGLONG lastWritten = 0; // file time: 100-ns units since 1601
};
std::optional<FileFacts> ReadFileFacts(const std::wstring& path);

// The length of a file, 0 when it is missing.
uint64_t FileLength(const std::wstring& path);

// The bytes this user may still write on the disk that holds the folder of
// `path`; nothing when the platform cannot tell.
std::optional<uint64_t> FreeSpaceBeside(const std::wstring& path);

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

// Runs `attempt` (0 once it succeeds, else the system's error) again while it
// fails because another program holds the file, every kHeldFileRetryMs for
// up to kHeldFileRetryLimitMs. Between two attempts `pause(failed, error,
// waitMs)` hears which attempt failed and why, and waits `waitMs`; false
// stops there. The last attempt's result.
DWORD RetryWhileHeld(const std::function<DWORD()>& attempt,
                     const std::function<bool(int failed, DWORD error, DWORD waitMs)>& pause);
