#include "pages/CheckVersionDlg.h"

IMPLEMENT_DYNAMIC(CCheckVersionDlg, CDialog)

void CCheckVersionDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHECK_PROGRESS, m_progress);
}

BOOL CCheckVersionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CCheckVersionDlg");
    m_pFrame = GetParent();
    m_progress.SetRange(0, 10000);
    m_progress.SetPos(0);
    return TRUE;
}
