#pragma once
// The first page: greets the user and names the installed client.

#include <string>

#include "framework/Dialog.h"
#include "resource.h"

class CWelcomeDlg : public CDialog
{
    DECLARE_DYNAMIC(CWelcomeDlg)

  public:
    enum
    {
        IDD = IDD_WELCOME
    };
    CWelcomeDlg() : CDialog(IDD) {}

    BOOL OnInitDialog() override;

    // Fills each output whose value the uninstall record holds; leaves the
    // others, and all four when there is no record, as they were.
    void ReadClientRecord(std::wstring& displayName, std::wstring& mainVersion, std::wstring& displayVersion,
                          std::wstring& buildTime) const;
};

// The Welcome line: "<name> <main version>", the default product name when
// the name is missing, with the edition substitution applied.
std::wstring FormatClientLine(std::wstring displayName, const std::wstring& mainVersion);
