#include "support/LinkStatic.h"

#include <shellapi.h>
#include <windowsx.h>
#include <algorithm>
#include <iterator>

#include "framework/WinApp.h"
#include "support/WideText.h"

namespace
{
const UINT_PTR kLinkToolId = 1;
const WORD kHandCursorId = 106;
const wchar_t kOpenErrorHeading[] = L"Unable to open hyperlink:\n\n";

// The control's device context with a font selected into it, given back as
// it was found.
class FontDC
{
  public:
    FontDC(HWND hWnd, HFONT hFont) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd))
    {
        if (m_hDC && hFont)
            m_hOld = ::SelectObject(m_hDC, hFont);
    }
    ~FontDC()
    {
        if (!m_hDC)
            return;
        if (m_hOld)
            ::SelectObject(m_hDC, m_hOld);
        ::ReleaseDC(m_hWnd, m_hDC);
    }
    FontDC(const FontDC&) = delete;
    FontDC& operator=(const FontDC&) = delete;
    HDC Get() const { return m_hDC; }

  private:
    HWND m_hWnd;
    HDC m_hDC;
    HGDIOBJ m_hOld = nullptr;
};
} // namespace

CLinkStatic::CLinkStatic() : m_crHoverColour(::GetSysColor(COLOR_HIGHLIGHT)) {}

CLinkStatic::~CLinkStatic()
{
    if (!m_hWnd)
        return;
    // The dialog destroys its controls only after its members, so the window
    // outlives this object: it is detached first, so that its last messages
    // do not reach a half-destroyed object, it lets the mouse go, and it gets
    // back the dialog's font, because ours is deleted with us.
    HWND hWnd = UnsubclassWindow();
    if (m_bOverControl && ::GetCapture() == hWnd)
        ::ReleaseCapture();
    if (m_Font.GetSafeHandle() &&
        reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)) == m_Font.GetSafeHandle())
        ::SendMessageW(hWnd, WM_SETFONT, ::SendMessageW(::GetParent(hWnd), WM_GETFONT, 0, 0), FALSE);
}

void CLinkStatic::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    ModifyStyle(0, SS_NOTIFY);

    if (m_strUrl.empty())
        m_strUrl = GetWindowText();
    if (GetWindowText().empty())
        SetWindowText(m_strUrl);

    HGDIOBJ current = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT));
    // A control that was never given a font draws with the system font.
    if (!current)
        current = ::GetStockObject(SYSTEM_FONT);
    LOGFONTW lf{};
    if (::GetObjectW(current, sizeof lf, &lf))
    {
        lf.lfUnderline = static_cast<BYTE>(m_bUnderline);
        if (m_Font.CreateFontIndirect(&lf))
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_Font.GetSafeHandle()), TRUE);
    }

    FitToText();
    LoadHandCursor();

    if (m_ToolTip.Create(this))
    {
        const RECT rc = GetClientRect();
        m_ToolTip.AddTool(this, m_strUrl, &rc, kLinkToolId);
    }
}

void CLinkStatic::SetLinkUrl(const std::wstring& url)
{
    m_strUrl = url;
    if (!m_hWnd)
        return;
    FitToText();
    m_ToolTip.UpdateTipText(m_strUrl, this, kLinkToolId);
}

BOOL CLinkStatic::PreTranslateMessage(MSG* pMsg)
{
    m_ToolTip.RelayEvent(pMsg);
    return CStatic::PreTranslateMessage(pMsg);
}

SIZE CLinkStatic::MeasureText() const
{
    SIZE extent{};
    const FontDC dc(m_hWnd, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
    if (!dc.Get())
        return extent;
    const std::wstring text = GetWindowText();
    ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);
    return extent;
}

void CLinkStatic::FitToText()
{
    if (!m_hWnd || !m_bAdjustToFit)
        return;
    RECT rc = GetWindowRect();
    ::MapWindowPoints(nullptr, GetParent(), reinterpret_cast<POINT*>(&rc), 2);
    const SIZE extent = MeasureText();
    const DWORD style = GetStyle();

    if (style & SS_CENTERIMAGE)
    {
        const int dy = (rc.bottom - rc.top - extent.cy) / 2;
        rc.top += dy;
        rc.bottom -= dy;
    }
    else
    {
        rc.bottom = rc.top + extent.cy;
    }

    // Bit tests on the style, not a comparison of its type field: a type
    // whose value holds the SS_CENTER bit (SS_SIMPLE, for one) is sized as
    // centred.
    if (style & SS_CENTER)
    {
        const int dx = (rc.right - rc.left - extent.cx) / 2;
        rc.left += dx;
        rc.right -= dx;
    }
    else if (style & SS_RIGHT)
    {
        rc.left = rc.right - extent.cx;
    }
    else
    {
        rc.right = rc.left + extent.cx;
    }
    ::SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLinkStatic::LoadHandCursor()
{
    if (m_hLinkCursor)
        return;
    wchar_t windowsDir[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(windowsDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring path = std::wstring(windowsDir) + L"\\winhlp32.exe";
    LibraryModule module(::LoadLibraryW(path.c_str()));
    if (!module)
        return;
    // The cursor belongs to the module, which is freed again at once: keep a
    // copy of our own.
    if (HCURSOR cursor = ::LoadCursorW(module.Get(), MAKEINTRESOURCEW(kHandCursorId)))
        m_hLinkCursor.Reset(::CopyIcon(cursor));
}

LRESULT CLinkStatic::OnReflectedCommand(WPARAM wParam, LPARAM)
{
    if (HIWORD(wParam) != STN_CLICKED)
    {
        SetMsgHandled(false);
        return 0;
    }
    OnClicked();
    return 0;
}

void CLinkStatic::OnClicked()
{
    const int result = OpenUrl(m_strUrl, SW_SHOW);
    m_bVisited = result > 32;
    if (!m_bVisited)
    {
        ::MessageBeep(MB_ICONEXCLAMATION);
        ShowOpenError(result);
        return;
    }
    if (m_hWnd)
        Invalidate(TRUE);
}

LRESULT CLinkStatic::OnCtlColor(WPARAM wParam, LPARAM)
{
    HDC hDC = reinterpret_cast<HDC>(wParam);
    COLORREF colour = m_crLinkColour;
    if (m_bOverControl)
        colour = m_crHoverColour;
    else if (m_bVisited)
        colour = m_crVisitedColour;
    ::SetTextColor(hDC, colour);
    ::SetBkMode(hDC, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

LRESULT CLinkStatic::OnSetCursor(WPARAM, LPARAM)
{
    if (!m_hLinkCursor)
        return FALSE;
    ::SetCursor(m_hLinkCursor.Get());
    return TRUE;
}

LRESULT CLinkStatic::OnMouseMove(WPARAM, LPARAM lParam)
{
    Default();
    // Signed: with the mouse captured, points left of or above the control
    // are negative.
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!m_bOverControl)
    {
        m_bOverControl = TRUE;
        RedrawNow();
        ::SetCapture(m_hWnd);
        return 0;
    }
    const RECT rc = GetClientRect();
    if (!::PtInRect(&rc, pt))
    {
        m_bOverControl = FALSE;
        ::ReleaseCapture();
        RedrawNow();
    }
    return 0;
}

void CLinkStatic::RedrawNow() const
{
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// When the shell cannot open the address, the browser registered for ".htm"
// is run directly. Whatever keeps that second attempt from being made (no
// association, no open command, an association value beyond its byte budget,
// or a command line that does not fit its buffers or the code page) leaves
// the shell's own error as the result: running a command line that has been
// cut short would open a wrong address, or a wrong program, without a word.
int CLinkStatic::OpenUrl(const std::wstring& url, int nShowCmd)
{
    const int shellResult = static_cast<int>(reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, nShowCmd)));
    if (shellResult > 32)
        return shellResult;

    std::wstring className;
    if (ReadClassesRootDefault(HKEY_CLASSES_ROOT, L".htm", className) != ERROR_SUCCESS || className.empty())
        return shellResult;
    std::wstring command;
    if (ReadClassesRootDefault(HKEY_CLASSES_ROOT, className + L"\\shell\\open\\command", command) !=
        ERROR_SUCCESS)
        return shellResult;

    const std::optional<std::wstring> commandLine = BuildBrowserCommandLine(command, url);
    char buffer[kWinExecCommandBytes] = {};
    if (!commandLine || !EncodeWinExecCommandLine(*commandLine, buffer))
        return shellResult;
    return static_cast<int>(::WinExec(buffer, static_cast<UINT>(nShowCmd)));
}

LONG CLinkStatic::ReadClassesRootDefault(HKEY hRoot, const std::wstring& subkey, std::wstring& value)
{
    RegKey key;
    const LONG opened = ::RegOpenKeyExW(hRoot, subkey.c_str(), 0, KEY_QUERY_VALUE, key.Receive());
    if (opened != ERROR_SUCCESS)
        return opened;
    constexpr size_t kUnits = kAssociationValueBytes / sizeof(wchar_t);
    wchar_t buffer[kUnits] = {};
    LONG size = static_cast<LONG>(kAssociationValueBytes);
    const LONG read = ::RegQueryValueW(key.Get(), nullptr, buffer, &size);
    if (read != ERROR_SUCCESS)
        return read;
    value = TextOfBuffer(buffer, kUnits);
    return ERROR_SUCCESS;
}

void CLinkStatic::ShowOpenError(int code)
{
    AppMessageBox(kOpenErrorHeading + OpenErrorText(code), MB_ICONEXCLAMATION | MB_OK);
}

std::optional<std::wstring> BuildBrowserCommandLine(const std::wstring& command, const std::wstring& url)
{
    std::wstring line = command;
    size_t placeholder = line.find(L"\"%1\"");
    if (placeholder == std::wstring::npos)
        placeholder = line.find(L"%1");
    if (placeholder != std::wstring::npos)
        line.erase(placeholder);
    line += L' ';
    line += url;
    if (line.size() >= kBrowserCommandCapacity)
        return std::nullopt;
    return line;
}

bool EncodeWinExecCommandLine(const std::wstring& commandLine, char (&buffer)[kWinExecCommandBytes])
{
    std::fill(std::begin(buffer), std::end(buffer), '\0');
    if (commandLine.empty())
        return true;
    // A UTF-8 system code page takes neither flags nor the lost-character
    // report; it can represent every character anyway.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    const int length = static_cast<int>(commandLine.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, flags, commandLine.data(), length, nullptr, 0, nullptr,
                                             utf8 ? nullptr : &lossy);
    if (needed <= 0 || static_cast<size_t>(needed) >= kWinExecCommandBytes || lossy)
        return false;
    ::WideCharToMultiByte(CP_ACP, flags, commandLine.data(), length, buffer, needed, nullptr, nullptr);
    return true;
}

std::wstring OpenErrorText(int code)
{
    switch (code)
    {
        case 0:
            return L"The operating system is out\nof memory or resources.";
        case SE_ERR_FNF:
            return L"The specified file was not found.";
        case SE_ERR_PNF:
            return L"The specified path was not found.";
        case SE_ERR_ACCESSDENIED:
            return L"The operating system denied\naccess to the specified file.";
        case SE_ERR_OOM:
            return L"There was not enough memory to complete the operation.";
        case ERROR_BAD_FORMAT:
            return L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        case SE_ERR_SHARE:
            return L"A sharing violation occurred. ";
        case SE_ERR_ASSOCINCOMPLETE:
            return L"The filename association is\nincomplete or invalid.";
        case SE_ERR_DDETIMEOUT:
            return L"The DDE transaction could not\nbe completed because the request timed out.";
        case SE_ERR_DDEFAIL:
            return L"The DDE transaction failed.";
        case SE_ERR_DDEBUSY:
            return L"The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
                   L"processed.";
        case SE_ERR_NOASSOC:
            return L"There is no application associated\nwith the given filename extension.";
        case SE_ERR_DLLNOTFOUND:
            return L"The specified dynamic-link library was not found.";
        default:
            return L"Unknown Error (" + std::to_wstring(code) + L") occurred.";
    }
}
