#include "pages/NewVersionDlg.h"

#include <algorithm>
#include <cwchar>

#include "support/StringHelpers.h"
#include "update/IniText.h"
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
    // Only where a key can be: at the start of a line of the first "Update"
    // section, which the record writer leaves last with "desc" as its last
    // key. A "desc=" inside another value, or inside the description, is
    // no key.
    bool inUpdate = false;
    for (size_t pos = 0; pos < text.size();)
    {
        const IniLine line = ReadIniLine(text, pos);
        pos = line.next;
        if (line.kind == IniLine::Section)
        {
            if (inUpdate)
                break;
            inUpdate = SameIniName(line.name, L"Update");
            continue;
        }
        if (!inUpdate)
            continue;
        for (const wchar_t* marker : {L"desc = ", L"desc="})
        {
            if (text.compare(line.begin, wcslen(marker), marker) == 0)
                return text.substr(line.begin + wcslen(marker));
        }
    }
    return std::wstring();
}

std::wstring DecodeSettingsText(const std::string& bytes)
{
    // The zeros that pad the file's block end the text; a zero inside a
    // launcher's line does not hide what follows it.
    size_t length = bytes.find_last_not_of('\0') + 1;
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
    const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? std::min<size_t>(3, length) : 0;
    return DecodeText(bytes.substr(start, length - start), CP_UTF8);
}
