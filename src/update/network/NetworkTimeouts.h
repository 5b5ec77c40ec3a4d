#pragma once
// How long the network may keep the wizard waiting. Without time-outs of its
// own WinINet may wait for ever on a server or proxy that stops sending
// without closing the connection.

#include <windows.h>
#include <wininet.h>

// Time allowed to open a connection.
constexpr DWORD kConnectTimeoutMs = 20000;
// Time without a byte after which a request or a transfer counts as stalled.
constexpr DWORD kDefaultStallSeconds = 30;
// The environment variable that overrides it, for tests and very slow networks.
extern const wchar_t kStallSecondsVariable[];

// The stall time in seconds that `text` asks for: a whole number from 1 to
// 600; 0 for anything else (missing, empty, out of range, not a number).
DWORD ParseStallSeconds(const wchar_t* text);

// The stall time in milliseconds: from the environment when it is usable
// there, else the default.
DWORD StallTimeoutMs();

// Sets the connect, send and receive time-outs on a session or a request.
// Both are needed: a request inherits the session's on Windows, but some
// WinINet implementations only honour those set on the request itself.
void ApplyNetworkTimeouts(HINTERNET handle, DWORD stallMs);
