#include "update/network/NetworkTimeouts.h"

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
