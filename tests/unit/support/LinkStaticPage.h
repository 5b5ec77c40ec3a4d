#pragma once
// The page the link tests look at, in a visible window of its own, and what
// they look at it with: the colours a parent's colour message yields,
// positions and text extents, tooltip tools, and a private
// HKEY_CLASSES_ROOT.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/ScopedHandle.h"
#include "harness/Machine.h"
#include "harness/Window.h"
#include "resource.h"
#include "support/LinkStatic.h"

namespace probes
{
// The download page's template with binding left to the test, so that the
// control can be looked at before and after it is attached.
class CLinkTestPage : public CDialog
{
  public:
    CLinkTestPage() : CDialog(IDD_DOWNLOAD) {}
    BOOL OnInitDialog() override { return TRUE; }
    CLinkStatic m_link;

  protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_MANUAL_LINK, m_link);
    }
};

// A visible top-level window holding the page.
class LinkStatic : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        // The real pointer stays off the page, so that only the test's own
        // mouse messages reach the controls.
        ::SetCursorPos(1000, 740);
        ASSERT_TRUE(m_host.Create(IDD_NOTICE, nullptr));
        ::SetWindowPos(m_host, HWND_TOP, 20, 20, 640, 480, SWP_SHOWWINDOW | SWP_NOACTIVATE);
        ASSERT_TRUE(m_page.Create(IDD_DOWNLOAD, &m_host));
        m_page.MoveWindow(RECT{0, 0, 620, 440});
        m_page.ShowWindow(SW_SHOW);
    }

    // A static text of the page, made here with the page's font.
    HWND MakeStatic(DWORD style, const wchar_t* text, const RECT& rc, int id)
    {
        HWND hWnd = ::CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, rc.left, rc.top,
                                      rc.right - rc.left, rc.bottom - rc.top, m_page,
                                      reinterpret_cast<HMENU>(id), ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(hWnd, WM_SETFONT, ::SendMessageW(m_page, WM_GETFONT, 0, 0), FALSE);
        return hWnd;
    }

    CDialog m_host{IDD_NOTICE};
    CLinkTestPage m_page;
};

struct ColourAnswer
{
    COLORREF text;
    int bkMode;
    HGDIOBJ brush;
};

// What the page's colour message makes of a device context of the control.
inline ColourAnswer AskColours(HWND hPage, HWND hControl)
{
    const harness::WindowDC dc(hControl);
    ::SetTextColor(dc.Get(), RGB(1, 2, 3));
    ::SetBkMode(dc.Get(), OPAQUE);
    const LRESULT brush = ::SendMessageW(hPage, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                                         reinterpret_cast<LPARAM>(hControl));
    return ColourAnswer{::GetTextColor(dc.Get()), ::GetBkMode(dc.Get()), reinterpret_cast<HGDIOBJ>(brush)};
}

inline COLORREF TextColour(HWND hPage, HWND hControl)
{
    return AskColours(hPage, hControl).text;
}

inline RECT RectInParent(HWND hWnd)
{
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    ::MapWindowPoints(nullptr, ::GetParent(hWnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

inline SIZE TextExtent(HWND hWnd)
{
    wchar_t text[512] = {};
    const int length = ::GetWindowTextW(hWnd, text, 512);
    const harness::WindowDC dc(hWnd);
    // The DC is released right after, so the font need not be put back.
    ::SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc.Get(), text, length, &extent);
    return extent;
}

struct ToolFinder
{
    HWND tool;
    HWND tooltip;
};

inline BOOL CALLBACK FindTooltipProc(HWND hWnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<ToolFinder*>(lParam);
    wchar_t className[64] = {};
    ::GetClassNameW(hWnd, className, 64);
    if (_wcsicmp(className, TOOLTIPS_CLASSW) != 0)
        return TRUE;
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = f->tool;
    ti.uId = 1;
    if (!::SendMessageW(hWnd, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)))
        return TRUE;
    f->tooltip = hWnd;
    return FALSE;
}

// The tooltip of this thread that has tool 1 of `hControl`, or null.
inline HWND FindTooltipOf(HWND hControl)
{
    ToolFinder finder{hControl, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindTooltipProc, reinterpret_cast<LPARAM>(&finder));
    return finder.tooltip;
}

inline std::wstring ToolText(HWND hControl)
{
    HWND hTip = FindTooltipOf(hControl);
    if (!hTip)
        return L"<no tool>";
    std::vector<wchar_t> buffer(INFOTIPSIZE, L'\0');
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = hControl;
    ti.uId = 1;
    ti.lpszText = buffer.data();
    ::SendMessageW(hTip, TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&ti));
    return buffer.data();
}

inline RECT ToolRect(HWND hControl)
{
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = hControl;
    ti.uId = 1;
    if (HWND hTip = FindTooltipOf(hControl))
        ::SendMessageW(hTip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti));
    return ti.rect;
}

// HKEY_CLASSES_ROOT of this process replaced by an empty key of the test's
// own, so that the association the browser fallback reads is the test's.
class ClassesRootOverride
{
  public:
    // `testKey` (under HKEY_CURRENT_USER) is removed with all it holds at
    // the end.
    explicit ClassesRootOverride(const wchar_t* testKey) : m_testKey(testKey)
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (m_testKey + L"\\Classes").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, m_root.Receive(), nullptr);
        m_overridden = m_root && ::RegOverridePredefKey(HKEY_CLASSES_ROOT, m_root.Get()) == ERROR_SUCCESS;
    }
    ~ClassesRootOverride()
    {
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        m_root.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_testKey.c_str());
    }
    ClassesRootOverride(const ClassesRootOverride&) = delete;
    ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;

    bool IsActive() const { return m_overridden; }
    void SetDefault(const std::wstring& subkey, const std::wstring& value) const
    {
        RegKey key;
        ::RegCreateKeyExW(m_root.Get(), subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                          nullptr);
        harness::SetRegistryText(key.Get(), nullptr, value);
    }

  private:
    std::wstring m_testKey;
    RegKey m_root;
    bool m_overridden = false;
};
} // namespace probes
