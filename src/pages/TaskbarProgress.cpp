#include "pages/TaskbarProgress.h"

TaskbarProgress::TaskbarProgress(HWND hWnd) : m_hWnd(hWnd)
{
    ComPtr<ITaskbarList3> taskbar;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(taskbar.Receive()))) ||
        !taskbar || FAILED(taskbar->HrInit()))
        return;
    m_taskbar = taskbar;
}

void TaskbarProgress::SetValue(ULONGLONG done, ULONGLONG total) const
{
    if (m_taskbar && total > 0)
        m_taskbar->SetProgressValue(m_hWnd, done, total);
}

void TaskbarProgress::SetState(State state) const
{
    if (!m_taskbar)
        return;
    TBPFLAG flag = TBPF_NOPROGRESS;
    if (state == State::Normal)
        flag = TBPF_NORMAL;
    else if (state == State::Paused)
        flag = TBPF_PAUSED;
    else if (state == State::Error)
        flag = TBPF_ERROR;
    m_taskbar->SetProgressState(m_hWnd, flag);
}
