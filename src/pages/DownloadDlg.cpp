#include "pages/DownloadDlg.h"

#include "application/WizardMessages.h"
#include "support/StringHelpers.h"
#include "update/LiveUpdateIni.h"

IMPLEMENT_DYNAMIC(CDownloadDlg, CDialog)

void CDownloadDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DOWNLOAD_PROGRESS, m_progress);
}

BOOL CDownloadDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CDownloadDlg");
    m_pFrame = GetParent();
    m_progress.SetRange(0, 10000);
    m_progress.SetPos(0);

    std::wstring name, version;
    ReadUpdateRecord(name, version, m_strDownloadUrl);
    if (name.empty())
        name = kDefaultProductName;
    std::wstring line = name + L" " + version;
    ApplyEditionSubstitution(line);
    SetDlgItemText(IDC_PACKAGE_LINE, line);

    StartDownload();
    return TRUE;
}

BOOL CDownloadDlg::StartDownload()
{
    if (m_strDownloadUrl.empty())
    {
        ::SendMessageW(m_pFrame, WM_DOWNLOAD_ERROR, 0, 0);
        return FALSE;
    }
    return TRUE;
}
