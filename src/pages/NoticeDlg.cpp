#include "pages/NoticeDlg.h"

#include "support/RunLog.h"
#include "pages/Edition.h"
#include "update/install/ClientProcess.h"

IMPLEMENT_DYNAMIC(CNoticeDlg, CDialog)

BOOL CNoticeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    std::wstring text = GetDlgItemText(IDC_NOTICE_TEXT);
    ApplyEditionSubstitution(text);
    SetDlgItemText(IDC_NOTICE_TEXT, text);
    return TRUE;
}

void CNoticeDlg::OnForceClose()
{
    const DWORD processId = FindClientProcess();
    const bool ended = TerminateClientProcess(processId);
    LogEvent(L"close-client dialog: force close of process " + std::to_wstring(static_cast<long>(processId)) +
             (ended ? L": ended" : L": not ended"));
    EndDialog(IDOK);
}

void CNoticeDlg::OnRetry()
{
    const bool gone = FindClientProcess() == kNoClientProcess;
    LogEvent(gone ? L"close-client dialog: retry, the client is gone"
                  : L"close-client dialog: retry, the client still runs");
    if (gone)
        EndDialog(IDOK);
}

void CNoticeDlg::OnCancel()
{
    LogEvent(L"close-client dialog: cancelled");
    CDialog::OnCancel();
}

bool CNoticeDlg::ConfirmClientClosed()
{
    if (FindClientProcess() == kNoClientProcess)
        return true;
    LogEvent(L"install: the client is running, asking to close it");
    CNoticeDlg dlg(nullptr);
    return dlg.DoModal() != IDCANCEL;
}
