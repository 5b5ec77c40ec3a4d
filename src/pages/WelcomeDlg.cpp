#include "pages/WelcomeDlg.h"

#include "update/check/VersionRequest.h"

#include "support/RegistryText.h"
#include "pages/Edition.h"
#include "update/record/ClientRecord.h"

IMPLEMENT_DYNAMIC(CWelcomeDlg, CDialog)

BOOL CWelcomeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CWelcomeDlg");

    std::wstring displayName, mainVersion, displayVersion, buildTime;
    ReadClientRecord(displayName, mainVersion, displayVersion, buildTime);
    SetDlgItemText(IDC_CLIENT_LINE, FormatClientLine(displayName, mainVersion));
    // The user reads this page for a while before Next: time enough to take
    // the first loads of what the check uses off its path.
    PreloadVersionCheck();
    return TRUE;
}

void CWelcomeDlg::ReadClientRecord(std::wstring& displayName, std::wstring& mainVersion,
                                   std::wstring& displayVersion, std::wstring& buildTime) const
{
    RegKey key = OpenClientRecordKey();
    if (!key)
        return;
    ReadRegistryText(key.Get(), L"DisplayName", kClientRecordValueBytes, displayName);
    ReadRegistryText(key.Get(), L"DisplayVersion", kClientRecordValueBytes, displayVersion);
    ReadRegistryText(key.Get(), L"BuildTime", kClientRecordValueBytes, buildTime);
    ReadRegistryText(key.Get(), L"MainVersion", kClientRecordValueBytes, mainVersion);
}

std::wstring FormatClientLine(std::wstring displayName, const std::wstring& mainVersion)
{
    if (displayName.empty())
        displayName = kDefaultProductName;
    std::wstring line = displayName + L" " + mainVersion;
    ApplyEditionSubstitution(line);
    return line;
}
