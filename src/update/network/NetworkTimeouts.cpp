#include "update/network/NetworkTimeouts.h"

#include <algorithm>

const wchar_t kStallSecondsVariable[] = L"QVXLIVEUPDATE_STALL_SECONDS";

DWORD ParseStallSeconds(const wchar_t* text)
{
    if (!text || !*text)
        return 0;
    DWORD value = 0;
    for (const wchar_t* p = text; *p; ++p)
    {
        if (*p < L'0' || *p > L'9' || value > 600)
            return 0;
        value = value * 10 + static_cast<DWORD>(*p - L'0');
    }
    return value >= 1 && value <= 600 ? value : 0;
}

DWORD StallTimeoutMs()
{
    wchar_t text[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(kStallSecondsVariable, text, 16);
    const DWORD seconds = length > 0 && length < 16 ? ParseStallSeconds(text) : 0;
    return (seconds ? seconds : kDefaultStallSeconds) * 1000;
}

void ApplyNetworkTimeouts(HINTERNET handle, DWORD stallMs)
{
    DWORD connect = kConnectTimeoutMs;
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);
    ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
}

PaceFloor::PaceFloor(ULONGLONG now, uint64_t left)
    : m_windowStart(now), m_needed(std::min(kSlowFloorBytes, left))
{
}

bool PaceFloor::Arrived(uint64_t bytes, uint64_t left, ULONGLONG now)
{
    m_brought += bytes;
    if (now - m_windowStart < kSlowWindowMs)
        return true;
    if (m_brought < m_needed)
        return false;
    m_windowStart = now;
    m_needed = std::min(kSlowFloorBytes, left);
    m_brought = 0;
    return true;
}

std::wstring PaceFloor::Describe()
{
    return L"less than " + std::to_wstring(kSlowFloorBytes) + L" bytes in " +
           std::to_wstring(kSlowWindowMs / 1000) + L" s";
}
