#include "update/network/ServerClock.h"

#include <mutex>
#include <string_view>

namespace
{
struct KeptDate
{
    std::mutex lock;
    std::optional<int64_t> ahead;
};

KeptDate& Kept()
{
    static KeptDate kept;
    return kept;
}

// A number of `digits` decimal digits at `at`; -1 when there is none.
int Number(std::wstring_view text, size_t at, size_t digits)
{
    int value = 0;
    for (size_t i = at; i < at + digits; ++i)
    {
        if (text[i] < L'0' || text[i] > L'9')
            return -1;
        value = value * 10 + (text[i] - L'0');
    }
    return value;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the form every server of this age sends
// (the platform's own reader takes any text for a date).
bool ParseHttpDate(std::wstring_view text, SYSTEMTIME& time)
{
    static const wchar_t kDays[] = L"SunMonTueWedThuFriSat";
    static const wchar_t kMonths[] = L"JanFebMarAprMayJunJulAugSepOctNovDec";
    if (text.size() != 29 || text.substr(3, 2) != L", " || text[7] != L' ' || text[11] != L' ' ||
        text[16] != L' ' || text[19] != L':' || text[22] != L':' || text.substr(25) != L" GMT")
        return false;
    const size_t weekday = std::wstring_view(kDays).find(text.substr(0, 3));
    const size_t month = std::wstring_view(kMonths).find(text.substr(8, 3));
    if (weekday == std::wstring_view::npos || weekday % 3 != 0 || month == std::wstring_view::npos ||
        month % 3 != 0)
        return false;
    const int day = Number(text, 5, 2), year = Number(text, 12, 4), hour = Number(text, 17, 2),
              minute = Number(text, 20, 2), second = Number(text, 23, 2);
    if (day < 1 || year < 1601 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60)
        return false;
    time = SYSTEMTIME{static_cast<WORD>(year),
                      static_cast<WORD>(month / 3 + 1),
                      0,
                      static_cast<WORD>(day),
                      static_cast<WORD>(hour),
                      static_cast<WORD>(minute),
                      static_cast<WORD>(second),
                      0};
    return true;
}

int64_t Seconds(const FILETIME& time)
{
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) /
                                10000000u);
}
} // namespace

std::optional<int64_t> SecondsAheadOf(const std::wstring& httpDate, const FILETIME& now)
{
    SYSTEMTIME server{};
    FILETIME serverTime{};
    // A day past the month's end is refused here.
    if (!ParseHttpDate(httpDate, server) || !::SystemTimeToFileTime(&server, &serverTime))
        return std::nullopt;
    return Seconds(now) - Seconds(serverTime);
}

bool IsClockWrong(int64_t secondsAhead)
{
    return secondsAhead > kClockToleranceSeconds || secondsAhead < -kClockToleranceSeconds;
}

void KeepServerDate(const std::wstring& httpDate)
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::optional<int64_t> ahead = SecondsAheadOf(httpDate, now);
    KeptDate& kept = Kept();
    std::lock_guard<std::mutex> guard(kept.lock);
    kept.ahead = ahead;
}

std::optional<int64_t> ClockAheadOfServer()
{
    KeptDate& kept = Kept();
    std::lock_guard<std::mutex> guard(kept.lock);
    return kept.ahead;
}
