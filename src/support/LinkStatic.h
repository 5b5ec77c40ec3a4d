#pragma once
// CLinkStatic: a static text of a dialog that behaves as a web link. It is
// coloured and underlined, shows a hand cursor and its address as a tooltip,
// changes colour while the mouse is over it, and opens its address in the
// browser when clicked.

#include <windows.h>
#include <optional>
#include <string>

#include "framework/Controls.h"
#include "framework/Font.h"
#include "framework/ScopedHandle.h"
#include "framework/ToolTipCtrl.h"

// Capacity, in UTF-16 units with the terminating zero, of the browser command
// line assembled from the ".htm" association and the address.
constexpr size_t kBrowserCommandCapacity = 520;
// Capacity, in bytes with the terminating zero, of the command line that is
// handed to WinExec.
constexpr size_t kWinExecCommandBytes = 256;
// Byte budget of each association value read from HKEY_CLASSES_ROOT.
constexpr DWORD kAssociationValueBytes = 260;

class CLinkStatic : public CStatic
{
  public:
    CLinkStatic();
    ~CLinkStatic() override;

    // Stores the address; with a window, refits it to its text and shows the
    // address in the tooltip. An empty address makes a click open nothing.
    void SetLinkUrl(const std::wstring& url);

    // Opens `url` with the shell, or else with the browser registered for
    // ".htm". Greater than 32 on success; otherwise the shell's or WinExec's
    // error code.
    static int OpenUrl(const std::wstring& url, int nShowCmd);
    // The failure box for an `OpenUrl` result.
    static void ShowOpenError(int code);
    // Reads the default value of `subkey` under `hRoot`: 0 on success, or
    // the error of opening or reading the key. A value beyond
    // kAssociationValueBytes is an error, never a cut text.
    static LONG ReadClassesRootDefault(HKEY hRoot, const std::wstring& subkey, std::wstring& value);

    // Shrinks (or grows) the window to the extent of its text, keeping the
    // edge or centre its alignment style names.
    void FitToText();
    void LoadHandCursor();

    BOOL PreTranslateMessage(MSG* pMsg) override;

  protected:
    void PreSubclassWindow() override;

    BEGIN_MSG_MAP(CLinkStatic)
    MESSAGE_HANDLER(OCM_COMMAND, OnReflectedCommand)
    MESSAGE_HANDLER(OCM_CTLCOLORSTATIC, OnCtlColor)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    END_MSG_MAP(CStatic)

  private:
    LRESULT OnReflectedCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    void OnClicked();
    void RedrawNow() const;
    SIZE MeasureText() const;

    COLORREF m_crLinkColour = RGB(0, 0, 238);
    COLORREF m_crVisitedColour = RGB(85, 26, 139);
    COLORREF m_crHoverColour;
    BOOL m_bOverControl = FALSE;
    BOOL m_bVisited = FALSE;
    BOOL m_bUnderline = TRUE;
    BOOL m_bAdjustToFit = TRUE;
    std::wstring m_strUrl;
    CFont m_Font;
    IconHandle m_hLinkCursor;
    CToolTipCtrl m_ToolTip;
};

// The ".htm" association's command line `command` with `url` in place of its
// placeholder: the command is cut at "\"%1\"" (or else at "%1") and " " and
// the address are appended. Nothing when the result would not fit in
// kBrowserCommandCapacity units.
std::optional<std::wstring> BuildBrowserCommandLine(const std::wstring& command, const std::wstring& url);

// Converts `commandLine` to the ANSI code page into the zero-filled
// `buffer`. False, with the buffer all zero, when it needs more than
// kWinExecCommandBytes - 1 bytes or holds a character the code page lacks.
bool EncodeWinExecCommandLine(const std::wstring& commandLine, char (&buffer)[kWinExecCommandBytes]);

// The text of the failure box for an `OpenUrl` result, without its heading.
std::wstring OpenErrorText(int code);
