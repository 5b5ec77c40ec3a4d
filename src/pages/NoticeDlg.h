#pragma once
// The dialog that asks the user to close the running client before the
// installation goes on, and offers to close it by force.

#include "framework/Dialog.h"
#include "resource.h"

class CNoticeDlg : public CDialog
{
    DECLARE_DYNAMIC(CNoticeDlg)

  public:
    enum
    {
        IDD = IDD_NOTICE
    };
    explicit CNoticeDlg(CWnd* pParent = nullptr) : CDialog(IDD, pParent) {}

    BOOL OnInitDialog() override;
    // Terminates the first running client, if any, and ends with IDOK.
    void OnForceClose();
    // Ends with IDOK once no client runs; otherwise does nothing.
    void OnRetry();
    void OnCancel() override;

    // The installer step's question: true at once when no client runs;
    // otherwise runs the dialog and is false when the user gave up.
    static bool ConfirmClientClosed();

  protected:
    BEGIN_MSG_MAP(CNoticeDlg)
    COMMAND_ID_HANDLER(IDOK, OnForceClose)
    COMMAND_ID_HANDLER(IDC_RETRY, OnRetry)
    END_MSG_MAP(CDialog)
};
