#include "pages/WorkerLink.h"

#include <commctrl.h>

WorkerLink::WorkerLink(HWND hFrame, HWND hProgress, HWND hStatus)
    : m_hFrame(hFrame), m_hProgress(hProgress), m_hStatus(hStatus),
      m_abandonedEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

LRESULT WorkerLink::SendToFrame(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    if (m_abandoned)
        return 0;
    return ::SendMessageW(m_hFrame, msg, wParam, lParam);
}

void WorkerLink::SetProgress(int position) const
{
    if (!m_abandoned)
        ::SendMessageW(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void WorkerLink::SetStatusText(const std::wstring& text) const
{
    if (!m_abandoned && m_hStatus)
        ::SendMessageW(m_hStatus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WorkerLink::Abandon()
{
    std::lock_guard<std::mutex> guard(m_lock);
    MarkAbandoned();
}

void WorkerLink::SetAbandonHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_abandonHook = std::move(hook);
}

void WorkerLink::MarkAbandoned()
{
    if (!m_abandoned && m_abandonHook)
        m_abandonHook();
    m_abandonHook = nullptr;
    m_abandoned = true;
    if (m_abandonedEvent)
        ::SetEvent(m_abandonedEvent.Get());
}

bool WorkerLink::Wait(DWORD ms) const
{
    if (m_abandoned)
        return false;
    if (!m_abandonedEvent)
    {
        ::Sleep(ms);
        return !m_abandoned;
    }
    return ::WaitForSingleObject(m_abandonedEvent.Get(), ms) == WAIT_TIMEOUT;
}
