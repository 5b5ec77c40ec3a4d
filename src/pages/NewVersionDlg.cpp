#include "pages/NewVersionDlg.h"

#include <cstring>

#include "support/StringHelpers.h"
#include "update/LiveUpdateIni.h"

IMPLEMENT_DYNAMIC(CNewVersionDlg, CDialog)

BOOL CNewVersionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CNewVersionDlg");

    std::wstring name, version, description;
    LoadNewVersionInfo(name, version, description);
    if (name.empty())
        name = kDefaultProductName;
    std::wstring line = L"最新版本:" + name + L" " + version;
    ApplyEditionSubstitution(line);
    SetDlgItemText(IDC_VERSION_LINE, line);
    SetDlgItemText(IDC_DESCRIPTION, description);
    return TRUE;
}

void CNewVersionDlg::LoadNewVersionInfo(std::wstring& name, std::wstring& version,
                                        std::wstring& description) const
{
    ProbeIniEncoding();
    wchar_t nameBuffer[256] = {};
    wchar_t versionBuffer[256] = {};
    ReadUpdateSetting(L"Update", L"newversionname", nameBuffer, 256);
    ReadUpdateSetting(L"Update", L"newversion", versionBuffer, 256);
    name = TextOfBuffer(nameBuffer, 256);
    version = TextOfBuffer(versionBuffer, 256);

    wchar_t path[kIniPathCapacity] = {};
    if (!GetLiveUpdateIniPath(path))
        return;
    description = FindDescription(DecodeSettingsText(ReadIniBytes(path)));
}

std::wstring FindDescription(const std::wstring& text)
{
    for (const wchar_t* marker : {L"desc = ", L"desc="})
    {
        const size_t at = text.find(marker);
        if (at != std::wstring::npos)
            return text.substr(at + wcslen(marker));
    }
    return std::wstring();
}

std::wstring DecodeSettingsText(const std::string& bytes)
{
    size_t length = strnlen(bytes.data(), bytes.size());
    // Drop a multi-byte sequence that the end of the bytes cuts short.
    size_t lead = length;
    while (lead > 0 && length - lead < 4 && (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead > 0)
    {
        const unsigned char b = static_cast<unsigned char>(bytes[lead - 1]);
        const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (b >= 0xC0 && length - (lead - 1) < need)
            length = lead - 1;
    }
    return DecodeText(bytes.substr(0, length), CP_UTF8);
}
