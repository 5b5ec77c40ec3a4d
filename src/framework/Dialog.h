#pragma once
// CDialog: a dialog from a resource template, run modally by its own message
// loop (so that window destruction and pre-translation stay in our hands) or
// created modeless as a child of another window.

#include "framework/DataExchange.h"
#include "framework/Wnd.h"

class CDialog : public CWnd
{
    DECLARE_DYNAMIC(CDialog)

  public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when
    // the window could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless; the template decides whether it is visible.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd);
    // Destroys the window; runs when a modal run ends.
    virtual BOOL DestroyWindow();
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    bool IsModal() const { return m_bModal; }

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    bool ProcessWindowMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void RunModalLoop();

    bool m_bModal = false;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
};
