#pragma once
// The page that presents the offered version and its description.

#include <string>

#include "framework/Dialog.h"
#include "resource.h"

class CNewVersionDlg : public CDialog
{
    DECLARE_DYNAMIC(CNewVersionDlg)

  public:
    enum
    {
        IDD = IDD_NEWVERSION
    };
    CNewVersionDlg() : CDialog(IDD) {}

    BOOL OnInitDialog() override;
    // Name and version from the update record, the description from the
    // settings file's text.
    void LoadNewVersionInfo(std::wstring& name, std::wstring& version, std::wstring& description) const;
};

// The description in the settings file's text: everything after the first
// "desc = ", or failing that after the first "desc=", unchanged; empty when
// neither occurs.
std::wstring FindDescription(const std::wstring& text);

// Decodes the settings file's bytes as UTF-8 up to the first zero byte. A
// sequence cut off at the end of the bytes is dropped, not replaced.
std::wstring DecodeSettingsText(const std::string& bytes);
