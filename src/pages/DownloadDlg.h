#pragma once
// The page that downloads the offered package.

#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "resource.h"

class CDownloadDlg : public CDialog
{
    DECLARE_DYNAMIC(CDownloadDlg)

  public:
    enum
    {
        IDD = IDD_DOWNLOAD
    };
    CDownloadDlg() : CDialog(IDD) {}

    BOOL OnInitDialog() override;
    // An OK command that reaches the page has nothing to do.
    void OnOK() override {}
    // 1 when a worker runs or has been started, 0 when there is no address
    // (the frame has then been told) or no thread could be made.
    BOOL StartDownload();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

  private:
    std::wstring m_strDownloadUrl;
    std::wstring m_strPackagePath;
    HWND m_pFrame = nullptr;
    CProgressCtrl m_progress;
};
