#pragma once
// The wizard frame: side picture, page area, Next and Cancel. It creates the
// pages on demand (the check's two ahead, while the Welcome page is read,
// with the check's connection), moves forward only, receives the workers'
// reports and removes the settings file when it closes.

#include <memory>
#include <string>

#include "pages/WizardMessages.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/ScopedHandle.h"
#include "resource.h"

class CWelcomeDlg;
class CCheckVersionDlg;
class CNewVersionDlg;
class CDownloadDlg;
class CFinishDlg;

class CLiveUpdateDlg : public CDialog
{
  public:
    enum
    {
        IDD = IDD_LIVEUPDATE_DIALOG
    };
    explicit CLiveUpdateDlg(CWnd* pParent = nullptr);
    ~CLiveUpdateDlg() override;

    BOOL DestroyWindow() override;
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnNext();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

    BEGIN_MSG_MAP(CLiveUpdateDlg)
    MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_QUERYDRAGICON, OnQueryDragIcon)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    COMMAND_ID_HANDLER(IDC_CANCEL_WIZARD, OnCancel)
    COMMAND_ID_HANDLER(IDC_NEXT, OnNext)
    MESSAGE_HANDLER(WM_WIZARD_NEXT, OnWizardNext)
    MESSAGE_HANDLER(WM_DOWNLOAD_ERROR, OnDownloadError)
    MESSAGE_HANDLER(WM_DOWNLOAD_HELD, OnDownloadHeld)
    MESSAGE_HANDLER(WM_CHECK_DONE, OnCheckDone)
    MESSAGE_HANDLER(WM_CHECK_ERROR, OnCheckError)
    MESSAGE_HANDLER(WM_INSTALL_STARTING, OnInstallStarting)
    END_MSG_MAP(CDialog)

  private:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    // Makes the pages of the check ahead, hidden, and the check's
    // connection, while the Welcome page is still the one shown.
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnWizardNext(WPARAM wParam, LPARAM lParam);
    LRESULT OnCheckDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnCheckError(WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadError(WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadHeld(WPARAM wParam, LPARAM lParam);
    LRESULT OnInstallStarting(WPARAM wParam, LPARAM lParam);

    // Creates the page of that slot unless it exists, inside the page area.
    template <typename Page> Page* CreatePage(std::unique_ptr<Page>& slot);
    void MakeCurrent(CDialog* pPage);
    void ShowFinishPage();
    void LoadSidePicture();

    CDialog* m_pCurPage = nullptr;
    RECT m_rcPage{};
    std::unique_ptr<CWelcomeDlg> m_pWelcomePage;
    std::unique_ptr<CCheckVersionDlg> m_pCheckPage;
    std::unique_ptr<CNewVersionDlg> m_pNewVersionPage;
    std::unique_ptr<CDownloadDlg> m_pDownloadPage;
    std::unique_ptr<CFinishDlg> m_pFinishPage;
    std::wstring m_strResultText;
    // True while the Cancel confirmation box is open.
    bool m_bConfirmingCancel = false;
    int m_nResult = 0;
    HICON m_hIcon;
    CButton m_btnNext;
    CStatic m_picSide;
    CStatic m_lineSep;
    CButton m_btnCancel;
    GdiObject m_sidePicture;
};
