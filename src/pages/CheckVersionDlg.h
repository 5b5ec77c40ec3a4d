#pragma once
// The page shown while the version check runs on its worker thread.

#include <memory>
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/ScopedHandle.h"
#include "resource.h"
#include "update/VersionReply.h"

class WorkerLink;

class CCheckVersionDlg : public CDialog
{
    DECLARE_DYNAMIC(CCheckVersionDlg)

  public:
    enum
    {
        IDD = IDD_CHECKVERSION
    };
    CCheckVersionDlg();
    ~CCheckVersionDlg() override;

    BOOL OnInitDialog() override;
    // Starts the check once per page; false when no thread could be made.
    bool StartCheck();
    // The user has left the wizard: the worker reports nothing more.
    void AbandonWorker();

    // Reads the server's answer and records a new version for the pages
    // that follow, unless the wizard has been abandoned meanwhile.
    static ReplyVerdict ParseVersionReply(const std::wstring& reply, WorkerLink& link);

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

  private:
    static unsigned __stdcall CheckVersionThread(void* pParam);

    KernelHandle m_hCheckThread;
    HWND m_pFrame = nullptr;
    CProgressCtrl m_progress;
    std::shared_ptr<WorkerLink> m_link;
};
