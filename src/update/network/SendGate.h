#pragma once
// Holds a request back until the user asks for it. A session whose contact
// names a gate makes its connection (to the server, or to the proxy) and
// then waits, with nothing sent on it, until the gate opens: the check is
// made ready this way while the Welcome page is read.

#include <windows.h>

#include <atomic>

#include "framework/ScopedHandle.h"

class SendGate
{
  public:
    SendGate() : m_open(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    SendGate(const SendGate&) = delete;
    SendGate& operator=(const SendGate&) = delete;

    // From now on nothing is held, and what waits goes on.
    void Open();
    bool IsOpen() const { return m_openedAt != 0; }
    // When it opened (GetTickCount64); 0 while it is shut.
    ULONGLONG OpenedAt() const { return m_openedAt; }
    // Waits until it is open. Never throws: WinINet's status callback waits
    // here.
    void WaitOpen() const noexcept { ::WaitForSingleObject(m_open.Get(), INFINITE); }

  private:
    KernelHandle m_open;
    std::atomic<ULONGLONG> m_openedAt{0};
};
