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
    // Shows the offer the update record holds now: the page may have been
    // made before the check that writes it ran.
    void ShowOffer();
    // Name, version and description from the update record.
    void LoadNewVersionInfo(std::wstring& name, std::wstring& version, std::wstring& description) const;
};
