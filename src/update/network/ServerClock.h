#pragma once
// The update server's clock against this machine's. The check's answer
// carries the server's Date; a package download that later fails on a
// certificate's dates can then tell an expired certificate from a machine
// whose clock is wrong (after a dead CMOS battery, years off).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// How far the clocks may differ before this machine's counts as wrong:
// a day, far beyond any time zone mistake or drift.
constexpr int64_t kClockToleranceSeconds = 24 * 60 * 60;

// How far `now` (this machine's clock, UTC) is ahead of the HTTP date
// `httpDate` names, in seconds (behind: below zero); nothing when the date
// cannot be read.
std::optional<int64_t> SecondsAheadOf(const std::wstring& httpDate, const FILETIME& now);

// True when clocks that far apart are more than kClockToleranceSeconds apart.
bool IsClockWrong(int64_t secondsAhead);

// Keeps how far this machine's clock is ahead of the server's, from the Date
// of an answer that has just arrived; an unreadable date forgets what was
// kept. May be called from any thread.
void KeepServerDate(const std::wstring& httpDate);

// What KeepServerDate kept last; nothing before or after a date that could
// not be read.
std::optional<int64_t> ClockAheadOfServer();
