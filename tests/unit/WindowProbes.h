#pragma once
// Helpers the window tests use to look at controls of their own: the
// colours a parent's colour message yields, positions and text extents,
// tooltip tools, and a private HKEY_CLASSES_ROOT.

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

#include "framework/ScopedHandle.h"
#include "harness/Machine.h"
#include "harness/Window.h"

namespace probes
{
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
