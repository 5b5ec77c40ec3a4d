#include "pages/NewVersionDlg.h"

#include "pages/Edition.h"
#include "update/record/UpdateRecord.h"

IMPLEMENT_DYNAMIC(CNewVersionDlg, CDialog)

BOOL CNewVersionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CNewVersionDlg");
    return TRUE;
}

void CNewVersionDlg::ShowOffer()
{
    std::wstring name, version, description;
    LoadNewVersionInfo(name, version, description);
    if (name.empty())
        name = kDefaultProductName;
    std::wstring line = L"最新版本:" + name + L" " + version;
    ApplyEditionSubstitution(line);
    SetDlgItemText(IDC_VERSION_LINE, line);
    SetDlgItemText(IDC_DESCRIPTION, description);
}

void CNewVersionDlg::LoadNewVersionInfo(std::wstring& name, std::wstring& version,
                                        std::wstring& description) const
{
    const UpdateRecord record = ReadUpdateRecord();
    name = record.name;
    version = record.version;
    description = record.desc;
}
