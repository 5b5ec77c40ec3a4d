#include "update/network/NetworkTimeouts.h"

#include <algorithm>

#include "support/WideText.h"

const wchar_t kStallSecondsVariable[] = L"QVXLIVEUPDATE_STALL_SECONDS";

DWORD StallTimeoutMs()
{
    const DWORD seconds = EnvironmentNumber(kStallSecondsVariable, 1, 600);
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
