#pragma once
// The page shown while the version check runs.

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "resource.h"

class CCheckVersionDlg : public CDialog
{
    DECLARE_DYNAMIC(CCheckVersionDlg)

  public:
    enum
    {
        IDD = IDD_CHECKVERSION
    };
    CCheckVersionDlg() : CDialog(IDD) {}

    BOOL OnInitDialog() override;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

  private:
    HWND m_pFrame = nullptr;
    CProgressCtrl m_progress;
};
