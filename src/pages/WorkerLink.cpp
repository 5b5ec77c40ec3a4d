#include "pages/WorkerLink.h"

#include <commctrl.h>

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

void WorkerLink::Abandon()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_abandoned = true;
}

bool WorkerLink::TryBeginInstall()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_abandoned)
        return false;
    m_installing = true;
    return true;
}
