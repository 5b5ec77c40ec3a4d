#pragma once
// The wizard's progress on its taskbar button. Where the taskbar offers no
// progress (older systems, some desktops), every call does nothing.

#include <windows.h>

#include <shobjidl.h>

#include "framework/ComPtr.h"

class TaskbarProgress
{
  public:
    enum class State
    {
        None,
        Normal,
        Paused, // waiting to try again
        Error,
    };

    // The calling thread must have initialised COM and keep it while the
    // object lives.
    explicit TaskbarProgress(HWND hWnd);
    void SetValue(ULONGLONG done, ULONGLONG total) const;
    void SetState(State state) const;

  private:
    HWND m_hWnd;
    ComPtr<ITaskbarList3> m_taskbar;
};
