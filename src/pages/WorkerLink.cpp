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
