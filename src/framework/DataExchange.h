#pragma once
// Data exchange: binds a dialog's controls to the control objects that are
// members of its class.

#include <windows.h>

class CWnd;

class CDataExchange
{
  public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
    {
    }
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Attaches `rControl` to the dialog's control `nIDC`, once.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
