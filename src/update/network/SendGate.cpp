#include "update/network/SendGate.h"

void SendGate::Open()
{
    const ULONGLONG now = ::GetTickCount64();
    m_openedAt = now != 0 ? now : 1;
    ::SetEvent(m_open.Get());
}
