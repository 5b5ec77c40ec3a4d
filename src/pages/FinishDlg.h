#pragma once
// The last page: how the run ended.

#include <string>

#include "framework/Dialog.h"
#include "resource.h"

class CFinishDlg : public CDialog
{
    DECLARE_DYNAMIC(CFinishDlg)

  public:
    enum
    {
        IDD = IDD_FINISH
    };
    CFinishDlg() : CDialog(IDD) {}

    BOOL OnInitDialog() override;
    // Status 0: success heading, otherwise failure heading; `text` becomes the
    // body, after the edition substitution (applied to the caller's string).
    void SetResult(int nResult, std::wstring& text);
};
