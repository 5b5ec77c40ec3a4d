#pragma once
// Helpers the window tests use to look at controls from outside: the
// colours a parent's colour message yields, positions and text extents,
// tooltip tools, dialog boxes found and waited for, message boxes answered
// from another thread, and a private HKEY_CLASSES_ROOT.

#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"
#include "unit/StandInTools.h"

namespace probes
{
// A window's device context, given back at the end.
class WindowDC
{
  public:
    explicit WindowDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~WindowDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return m_hDC; }

  private:
    HWND m_hWnd;
    HDC m_hDC;
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
    const WindowDC dc(hControl);
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
    const WindowDC dc(hWnd);
    // The DC is released right after, so the font need not be put back.
    ::SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc.Get(), text, length, &extent);
    return extent;
}

inline std::wstring TextOf(HWND hWnd)
{
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hWnd, buffer, 1024);
    return buffer;
}

struct DialogSearch
{
    DWORD processId;
    DWORD threadId;
    const wchar_t* caption;
    HWND found;
};

inline BOOL CALLBACK FindDialogProc(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD processId = 0;
    const DWORD threadId = ::GetWindowThreadProcessId(hWnd, &processId);
    wchar_t className[16] = {};
    ::GetClassNameW(hWnd, className, 16);
    // The caption is read without a message: the thread that owns the
    // window may be busy, and waiting for it here could deadlock.
    wchar_t caption[256] = {};
    ::InternalGetWindowText(hWnd, caption, 256);
    if ((search->processId != 0 && processId != search->processId) ||
        (search->threadId != 0 && threadId != search->threadId) || wcscmp(className, L"#32770") != 0 ||
        !::IsWindowVisible(hWnd) || (search->caption && wcscmp(caption, search->caption) != 0))
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

// The first shown dialog box of that process and thread (0: any), with that
// caption when one is given; null when there is none.
inline HWND FindShownDialog(DWORD processId, DWORD threadId, const wchar_t* caption = nullptr)
{
    DialogSearch search{processId, threadId, caption, nullptr};
    ::EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for such a dialog box while this thread's windows keep answering;
// null once `ownerGone` holds or the time is up.
inline HWND WaitForShownDialog(DWORD processId, DWORD threadId, const wchar_t* caption,
                               const std::function<bool()>& ownerGone)
{
    HWND found = nullptr;
    standins::PumpUntil(
        [&]
        {
            found = FindShownDialog(processId, threadId, caption);
            return found != nullptr || ownerGone();
        });
    return found;
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

// Waits, on a thread of its own, for a message box of `threadId`, keeps its
// text and presses OK on it.
class MessageBoxAnswerer
{
  public:
    explicit MessageBoxAnswerer(DWORD threadId)
        : m_thread(
              [this, threadId]
              {
                  // The application message box: captioned with the program's name.
                  const std::wstring caption = ModuleBaseName();
                  const ULONGLONG deadline = ::GetTickCount64() + 15000;
                  while (!m_stop && ::GetTickCount64() < deadline)
                  {
                      HWND hBox = FindShownDialog(0, threadId, caption.c_str());
                      if (hBox && Read(hBox))
                      {
                          ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
                          return;
                      }
                      ::Sleep(20);
                  }
              })
    {
    }
    ~MessageBoxAnswerer()
    {
        m_stop = true;
        m_thread.join();
    }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // Valid once the box has been answered.
    std::wstring Text()
    {
        m_stop = true;
        m_thread.join();
        m_thread = std::thread([] {});
        return m_text;
    }

  private:
    // The box's message: its longest static text.
    bool Read(HWND hBox)
    {
        std::wstring longest;
        for (HWND child = ::GetWindow(hBox, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        {
            wchar_t className[16] = {};
            ::GetClassNameW(child, className, 16);
            if (_wcsicmp(className, L"Static") != 0)
                continue;
            wchar_t buffer[1024] = {};
            ::InternalGetWindowText(child, buffer, 1024);
            const std::wstring text = buffer;
            if (text.size() > longest.size())
                longest = text;
        }
        m_text = longest;
        return !longest.empty();
    }

    std::atomic<bool> m_stop{false};
    std::wstring m_text;
    std::thread m_thread;
};

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
        ::RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

  private:
    std::wstring m_testKey;
    RegKey m_root;
    bool m_overridden = false;
};
} // namespace probes
