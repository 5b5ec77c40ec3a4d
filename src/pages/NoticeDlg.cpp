#include "pages/NoticeDlg.h"

#include "framework/ScopedHandle.h"
#include "support/StringHelpers.h"
#include "update/ClientProcess.h"

IMPLEMENT_DYNAMIC(CNoticeDlg, CDialog)

namespace
{
// PROCESS_ALL_ACCESS as older systems define it: the newer, larger mask is
// refused there.
const DWORD kAllProcessAccess = 0x1F0FFF;
} // namespace

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
    if (processId != kNoClientProcess)
    {
        KernelHandle process(::OpenProcess(kAllProcessAccess, FALSE, processId));
        if (process)
            ::TerminateProcess(process.Get(), 0);
    }
    EndDialog(IDOK);
}

void CNoticeDlg::OnRetry()
{
    if (FindClientProcess() == kNoClientProcess)
        EndDialog(IDOK);
}
