#pragma once
// CToolTipCtrl: a tooltip window owned by another window. Each operation is
// one message to it. The tooltip is destroyed with this object, or earlier by
// the system together with its owner; the object notices the latter and then
// holds no window.

#include <windows.h>
#include <commctrl.h>
#include <string>

#include "framework/Wnd.h"

class CToolTipCtrl : public CWnd
{
  public:
    CToolTipCtrl() noexcept = default;
    ~CToolTipCtrl() override;

    // Creates the tooltip window (WS_POPUP | dwStyle) owned by `pOwnerWnd`.
    // False when this object already holds one or the window cannot be made.
    BOOL Create(CWnd* pOwnerWnd, DWORD dwStyle = 0);

    // Adds a tool of `pWnd`: with a non-zero id, the rectangle `lpRectTool`
    // (client coordinates of `pWnd`; its whole client area when null);
    // with id 0, the whole window `pWnd`. The tooltip keeps its own copy of
    // the text.
    BOOL AddTool(CWnd* pWnd, const std::wstring& text, const RECT* lpRectTool = nullptr,
                 UINT_PTR nIDTool = 0) const;
    void UpdateTipText(const std::wstring& text, CWnd* pWnd, UINT_PTR nIDTool = 0) const;
    // The tool's text, cut to INFOTIPSIZE - 1 units; empty when there is no
    // such tool.
    std::wstring GetText(CWnd* pWnd, UINT_PTR nIDTool = 0) const;
    // Lets the tooltip see a mouse message of a tool window, so that it can
    // show and hide itself.
    void RelayEvent(MSG* pMsg) const;
};
