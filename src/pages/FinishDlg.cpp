#include "pages/FinishDlg.h"

#include "pages/Edition.h"

IMPLEMENT_DYNAMIC(CFinishDlg, CDialog)

BOOL CFinishDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CFinishDlg");

    std::wstring text = GetDlgItemText(IDC_RESULT_TEXT);
    ApplyEditionSubstitution(text);
    SetDlgItemText(IDC_RESULT_TEXT, text);
    return TRUE;
}

void CFinishDlg::SetResult(int nResult, std::wstring& text)
{
    ApplyEditionSubstitution(text);
    SetDlgItemText(IDC_RESULT_HEADING, nResult != 0 ? L"升级失败" : L"升级完成");
    SetDlgItemText(IDC_RESULT_TEXT, text);
}
