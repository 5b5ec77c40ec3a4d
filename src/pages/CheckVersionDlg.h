#pragma once
// The page shown while the version check runs on its worker thread.

#include <string>

#include "framework/ScopedHandle.h"
#include "pages/WorkerPage.h"
#include "resource.h"
#include "update/check/VersionReply.h"

class CCheckVersionDlg : public CWorkerPage
{
    DECLARE_DYNAMIC(CCheckVersionDlg)

  public:
    enum
    {
        IDD = IDD_CHECKVERSION
    };
    CCheckVersionDlg();

    BOOL OnInitDialog() override;
    // Starts the check once per page; false when no thread could be made.
    bool StartCheck();

    // Reads the server's answer and records a new version for the pages
    // that follow, unless the wizard has been abandoned meanwhile.
    static ReplyVerdict ParseVersionReply(const std::wstring& reply, WorkerLink& link);

  private:
    static unsigned __stdcall CheckVersionThread(void* pParam);

    KernelHandle m_hCheckThread;
};
