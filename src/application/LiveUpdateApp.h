#pragma once
// The application object: one wizard per logon session, run modally.

#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"

class CLiveUpdateApp : public CWinApp
{
  public:
    CLiveUpdateApp() = default;

    // Always false: the wizard has run by the time it returns, and the
    // process goes straight on to its exit.
    BOOL InitInstance() override;
    int ExitInstance() override;

  private:
    // Held for the life of the process; its name is per logon session.
    KernelHandle m_hMutex;
};
