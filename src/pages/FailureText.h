#pragma once
// What the user is told when the machine stands in the upgrade's way: a
// clock that is wrong, or a package that cannot be started (a declined
// elevation, security software, anything else the system names).

#include <windows.h>

#include <cstdint>
#include <string>

// The box for security software that holds, quarantines or refuses the package.
extern const wchar_t kPackageBlockedText[];
// The box for a declined elevation.
extern const wchar_t kElevationDeclinedText[];

// "2026-12-07 09:05", as the boxes show a moment.
std::wstring FormatBoxTime(const SYSTEMTIME& time);

// "您的电脑时间不正确（本机：<local>，服务器：<server>），请校正系统时间后重新执行更新程序！"
std::wstring ClockWrongText(const SYSTEMTIME& local, const SYSTEMTIME& server);

// ClockWrongText for now: this machine's local time, and the server's,
// taken to be `secondsAhead` behind it, in the same time zone.
std::wstring ClockWrongTextNow(int64_t secondsAhead);

// True when the shell's `error` starting a verified package means security
// software stands in the way: it reports a virus, or refuses access to a
// file that was checked a moment ago, or the file is gone (quarantined), or
// another program still held it after every retry.
bool IsBlockedBySecurity(DWORD error);

// The box for a package the shell could not start with `error`; for an
// error of no known cause, the number and `systemText`.
std::wstring StartFailureText(DWORD error, const std::wstring& systemText);

// The system's words for `error` in the user's language, without the line
// break and full stop at their end, with "%1" standing for `name`.
std::wstring SystemErrorWords(DWORD error, const std::wstring& name);
