#include "framework/Dialog.h"

#include "framework/WinApp.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

namespace
{
// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT uMsg)
{
    switch (uMsg)
    {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

INT_PTR DialogResult(HWND hDlg, UINT uMsg, LRESULT result)
{
    if (ReturnsResultDirectly(uMsg))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, result);
    return TRUE;
}

bool IsReflectable(UINT uMsg, LPARAM lParam)
{
    return lParam != 0 && (uMsg == WM_COMMAND || (uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC));
}
} // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog()
{
    if (HWND hWnd = m_hWnd)
    {
        // Detach first: the window's last messages must not reach an object
        // whose derived parts are already gone.
        DetachObject();
        ::DestroyWindow(hWnd);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_INITDIALOG)
    {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        self->AttachObject(hDlg);
        BOOL focusDefault = TRUE;
        RunGuarded([&] { focusDefault = self->OnInitDialog(); });
        return focusDefault;
    }

    auto* self = static_cast<CDialog*>(FromHandlePermanent(hDlg));
    if (!self)
        return FALSE;
    if (uMsg == WM_NCDESTROY)
    {
        self->DetachObject();
        return FALSE;
    }

    LRESULT result = 0;
    if (IsReflectable(uMsg, lParam))
    {
        CWnd* child = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
        if (child && child != self && child->OnChildNotify(uMsg, wParam, lParam, result))
            return DialogResult(hDlg, uMsg, result);
    }

    bool handled = false;
    RunGuarded(
        [&]
        {
            ThrowIfFaultProbe(uMsg);
            handled = self->ProcessWindowMessage(uMsg, wParam, lParam, result);
        });
    return handled ? DialogResult(hDlg, uMsg, result) : FALSE;
}

bool CDialog::ProcessWindowMessage(UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult)
{
    if (uMsg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam))
    {
        case IDOK:
            OnOK();
            lResult = 0;
            return true;
        case IDCANCEL:
            OnCancel();
            lResult = 0;
            return true;
        default:
            return false;
    }
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    m_bModal = false;
    ::CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(nIDTemplate), HwndOf(pParentWnd), DialogProc,
                         reinterpret_cast<LPARAM>(this));
    return m_hWnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND hOwner = HwndOf(m_pParentWnd);
    const bool disableOwner = hOwner && ::IsWindowEnabled(hOwner);
    if (disableOwner)
        ::EnableWindow(hOwner, FALSE);

    m_bModal = true;
    m_bContinueModal = true;
    m_nModalResult = -1;
    ::CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(m_nIDTemplate), hOwner, DialogProc,
                         reinterpret_cast<LPARAM>(this));
    if (m_hWnd)
    {
        if (m_bContinueModal)
        {
            ShowWindow(SW_SHOW);
            RunModalLoop();
        }
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (disableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner && m_hWnd && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hOwner);

    const INT_PTR result = m_nModalResult;
    DestroyWindow();
    m_bModal = false;
    return result;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bContinueModal)
    {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
        {
            // Keep the quit request for whoever runs the next loop out.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (WalkPreTranslateTree(m_hWnd, &msg))
            continue;
        if (m_hWnd && ::IsDialogMessageW(m_hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void CDialog::EndDialog(int nResult)
{
    if (m_bModal)
    {
        m_nModalResult = nResult;
        m_bContinueModal = false;
        // Wake the loop in case nothing else is queued.
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
    else if (m_hWnd)
    {
        ::EndDialog(m_hWnd, nResult);
    }
}

BOOL CDialog::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    // A page inside another dialog has nothing to confirm: Enter belongs to
    // the dialog that contains it.
    if (!m_bModal)
        return;
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    // A child page passes Esc on (an edit control turns it into a cancel of
    // its own dialog) so that it reaches the dialog the user sees.
    if (!m_bModal && (GetStyle() & WS_CHILD))
    {
        ::SendMessageW(GetParent(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    EndDialog(IDCANCEL);
}
