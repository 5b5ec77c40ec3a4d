#pragma once
// The application object: one wizard per logon session, run modally.

#include <windows.h>

#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"

class CLiveUpdateApp : public CWinApp
{
  public:
    CLiveUpdateApp() = default;

    // Always false: the wizard, or the unattended run the command line asks
    // for, has run by the time it returns, and the process goes straight on
    // to its exit.
    BOOL InitInstance() override;
    // The process's exit code: 0 after the wizard, the outcome's after an
    // unattended run.
    int ExitInstance() override;

  private:
    // Held for the life of the process and never closed: the process's end
    // frees it. A global destructor must not close it while a worker that a
    // confirmed Cancel left behind may still run.
    HANDLE m_hMutex = nullptr;
    // The working folder's single-instance lock (support/InstanceLock.h).
    FileHandle m_lock;
    int m_exitCode = 0;
};
