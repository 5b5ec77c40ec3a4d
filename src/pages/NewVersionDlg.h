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
// line of the first "Update" section that starts with "desc = " or "desc=",
// unchanged, to the end of the text; empty when there is none.
std::wstring FindDescription(const std::wstring& text);

// Decodes the settings file's bytes as UTF-8, without the zero bytes that
// pad it and without a byte-order mark. A sequence cut off at the end of the
// bytes is dropped, not replaced.
std::wstring DecodeSettingsText(const std::string& bytes);
