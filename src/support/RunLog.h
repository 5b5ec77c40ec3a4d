#pragma once
// The log of every run, "QVXLiveUpdate.log" in the temporary folder: what
// support staff ask a user to send. One UTF-8 line per event, local time to
// the millisecond and the thread's id first. Writing it never changes what
// the wizard does: when the file cannot be written, nothing is logged.

#include <windows.h>

#include <cstdint>
#include <string>

// Starts logging into `folder` (with its trailing backslash). With `rotate`
// (this run owns the log), a log over kRunLogRotateBytes becomes
// "QVXLiveUpdate.log.old" (one kept), first and whenever it passes that size
// during the run. Later calls do nothing.
void OpenRunLog(const std::wstring& folder, bool rotate);
// Appends one line; may be called from any thread.
void LogEvent(const std::wstring& text);

constexpr uint64_t kRunLogRotateBytes = 1024 * 1024;
extern const wchar_t kRunLogName[];

// The time since the tick count `since`, as a log line gives it: "42 ms".
std::wstring Elapsed(ULONGLONG since);

// A log line without its line break: "2026-12-07 09:05:03.042 [1234] text",
// with any line break inside `text` turned into a blank.
std::wstring FormatLogLine(const SYSTEMTIME& time, DWORD threadId, const std::wstring& text);

// A proxy setting as it may be logged: its host:port entries only, separated
// by ";". A user name or password may hold ";", blanks or "=", so once the
// text holds an "@" only what follows an "@" in each entry is kept, and then
// only when it has the form host:port; nothing else of the text is trusted
// to be no part of a password.
std::wstring ProxyForLog(const std::wstring& proxy);

// An error number with what it means, e.g. "12029 (cannot connect to the
// server)", for WinINet's and the system's errors.
std::wstring DescribeError(DWORD error);
