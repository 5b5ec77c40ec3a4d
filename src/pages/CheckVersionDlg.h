#pragma once
// The page shown while the version check runs on its worker thread.

#include <memory>
#include <string>

#include "framework/ScopedHandle.h"
#include "pages/WorkerPage.h"
#include "resource.h"
#include "update/check/UpdateCheck.h"

class CCheckVersionDlg : public CWorkerPage
{
    DECLARE_DYNAMIC(CCheckVersionDlg)

  public:
    enum
    {
        IDD = IDD_CHECKVERSION
    };
    CCheckVersionDlg();

    // Made ahead, while the Welcome page is read, the page starts its check
    // as far as the connection, which then waits, with nothing sent on it,
    // for Begin.
    void Prepare();
    // The page is shown: it is named, and its check goes on (or starts).
    void Begin();
    // Starts the check once per page; false when no thread could be made.
    bool StartCheck();

    // Records the check's offer in the settings file for the pages that
    // follow, unless the wizard has been abandoned meanwhile: Unusable when
    // it could not be written, otherwise the check's outcome.
    static CheckOutcome ParseVersionReply(const CheckResult& result, WorkerLink& link);

  private:
    static unsigned __stdcall CheckVersionThread(void* pParam);

    KernelHandle m_hCheckThread;
    // What a check started by Prepare waits at.
    std::shared_ptr<SendGate> m_gate;
};
