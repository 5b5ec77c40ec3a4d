#pragma once
// The page that downloads the offered package on its worker thread and hands
// it to the installer step.

#include <string>

#include "framework/Controls.h"
#include "framework/ScopedHandle.h"
#include "pages/WorkerPage.h"
#include "resource.h"
#include "support/LinkStatic.h"
#include "update/trust/Offer.h"

class CDownloadDlg : public CWorkerPage
{
    DECLARE_DYNAMIC(CDownloadDlg)

  public:
    enum
    {
        IDD = IDD_DOWNLOAD
    };
    CDownloadDlg();

    BOOL OnInitDialog() override;
    // An OK command that reaches the page has nothing to do.
    void OnOK() override {}
    // 1 when a worker runs or has been started, 0 when there is no address
    // (the frame has then been told) or no thread could be made. A record
    // this build may not act on gets a worker that fetches nothing and
    // reports the download's error.
    BOOL StartDownload();
    // The user has confirmed Cancel: as AbandonWorker, unless the worker has
    // begun the installation (false then; it runs to its end).
    bool TryAbandonWorker();

    // Runs the package at `packagePath`, which `package` holds unchanged
    // until the installer has started, and ends the process.
    [[noreturn]] static void RunInstaller(HWND hFrame, const std::wstring& packagePath, FileHandle package);

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

  private:
    static unsigned __stdcall DownloadThread(void* pParam);

    KernelHandle m_hDownloadThread;
    std::wstring m_strDownloadUrl;
    std::wstring m_strPackagePath;
    // The record as judged when the page was made; the download goes only
    // where this build may act on it.
    OfferJudgement m_offer;
    CLinkStatic m_linkManual;
    CStatic m_status; // bytes, speed and time left, under the bar
};
