#pragma once
// How long the network may keep the wizard waiting. Without time-outs of its
// own WinINet may wait for ever on a server or proxy that stops sending
// without closing the connection.

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

// Time allowed to open a connection.
constexpr DWORD kConnectTimeoutMs = 20000;
// Time without a byte after which a request or a transfer counts as stalled.
constexpr DWORD kDefaultStallSeconds = 30;
// The environment variable that overrides it, for tests and very slow networks.
extern const wchar_t kStallSecondsVariable[];

// The stall time in milliseconds: from the environment when it writes a
// whole number of seconds from 1 to 600, else the default.
DWORD StallTimeoutMs();

// Sets the connect, send and receive time-outs on a session or a request.
// Both are needed: a request inherits the session's on Windows, but some
// WinINet implementations only honour those set on the request itself.
void ApplyNetworkTimeouts(HINTERNET handle, DWORD stallMs);

// A transfer that is not complete must bring this much in every window of
// kSlowWindowMs (or the rest, when less is left), or it counts as stalled: a
// peer that sends a byte now and then, each within the stall time, would
// otherwise hold it for ever.
constexpr uint64_t kSlowFloorBytes = 16 * 1024;
constexpr DWORD kSlowWindowMs = 60000;

// The pace of one transfer, judged at each arrival.
class PaceFloor
{
  public:
    // The transfer starts at tick `now` with `left` bytes to come.
    PaceFloor(ULONGLONG now, uint64_t left);
    // `bytes` more arrived at tick `now`, `left` are still to come after
    // them; false when the window that has ended brought less than its floor.
    bool Arrived(uint64_t bytes, uint64_t left, ULONGLONG now);
    // For the log: "less than 16384 bytes in 60 s".
    static std::wstring Describe();

  private:
    ULONGLONG m_windowStart;
    uint64_t m_needed;
    uint64_t m_brought = 0;
};
