#include "framework/ToolTipCtrl.h"

#include <vector>

#include "framework/WinApp.h"

namespace
{
// The tool record in the size every common-controls version accepts; the
// larger record of newer headers is refused by the older library.
TOOLINFOW ToolRecord(CWnd* pWnd, UINT_PTR nIDTool)
{
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = HwndOf(pWnd);
    if (nIDTool == 0)
    {
        ti.uFlags = TTF_IDISHWND;
        ti.uId = reinterpret_cast<UINT_PTR>(ti.hwnd);
    }
    else
    {
        ti.uId = nIDTool;
    }
    return ti;
}
} // namespace

CToolTipCtrl::~CToolTipCtrl()
{
    if (m_hWnd)
        ::DestroyWindow(UnsubclassWindow());
}

BOOL CToolTipCtrl::Create(CWnd* pOwnerWnd, DWORD dwStyle)
{
    if (m_hWnd)
        return FALSE;
    // Registers the tooltip class with the older library, which does not do
    // so on its own; a no-op when it is already registered.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);

    HWND hWnd = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, HwndOf(pOwnerWnd), nullptr,
                                  ResourceInstance(), nullptr);
    if (!hWnd)
        return FALSE;
    // Subclassing lets the object see the window's end when the system
    // destroys it together with its owner, so no stale handle is kept.
    if (!SubclassWindow(hWnd))
    {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, const std::wstring& text, const RECT* lpRectTool,
                           UINT_PTR nIDTool) const
{
    if (!m_hWnd || !pWnd)
        return FALSE;
    TOOLINFOW ti = ToolRecord(pWnd, nIDTool);
    if (nIDTool != 0)
    {
        if (lpRectTool)
            ti.rect = *lpRectTool;
        else
            ti.rect = pWnd->GetClientRect();
    }
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::UpdateTipText(const std::wstring& text, CWnd* pWnd, UINT_PTR nIDTool) const
{
    if (!m_hWnd || !pWnd)
        return;
    TOOLINFOW ti = ToolRecord(pWnd, nIDTool);
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

std::wstring CToolTipCtrl::GetText(CWnd* pWnd, UINT_PTR nIDTool) const
{
    if (!m_hWnd || !pWnd)
        return std::wstring();
    // Some library versions ignore the size in wParam and fill up to
    // INFOTIPSIZE units, so the buffer is never smaller than that.
    std::vector<wchar_t> buffer(INFOTIPSIZE, L'\0');
    TOOLINFOW ti = ToolRecord(pWnd, nIDTool);
    ti.lpszText = buffer.data();
    SendMessage(TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&ti));
    buffer.back() = L'\0';
    return std::wstring(buffer.data());
}

void CToolTipCtrl::RelayEvent(MSG* pMsg) const
{
    if (m_hWnd && pMsg)
        SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
}
