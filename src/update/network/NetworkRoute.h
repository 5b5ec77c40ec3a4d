#pragma once
// How the check and the download reach the network: the user's system proxy,
// the program's user agent and the stall time, read once for each.

#include <windows.h>

#include <memory>
#include <string>

#include "framework/InternetSession.h"

struct NetworkRoute
{
    std::wstring agent;
    bool useProxy = false;
    std::wstring proxy; // the system proxy's text, as the user set it
    DWORD stallMs = 30000;
};

// The route as the system and the environment give it now: the user agent is
// the application title.
NetworkRoute ReadNetworkRoute();

// Reads the current user's proxy setting. `enabled` is set to 0 or 1; only
// when it is 1 is `proxy` assigned the proxy text (empty when the text is
// missing or longer than its 2048-byte budget). Always returns 1.
int ReadSystemProxy(int& enabled, std::wstring& proxy);

// A session along `route`: the named proxy when it is on, the system's
// preconfigured settings otherwise; the time-outs are set. Raises
// CInternetException when none can be opened.
std::unique_ptr<CInternetSession> OpenRouteSession(const NetworkRoute& route);

// "through the proxy" or "direct", for the log.
const wchar_t* DescribeRoute(const NetworkRoute& route);
