#pragma once
// CWnd: a window object that holds one HWND. Controls are attached to their
// dialog's windows by subclassing, so a control class can have a message map
// of its own; dialogs route their messages through the same map mechanism.

#include <windows.h>
#include <string>

#include "framework/MessageMap.h"
#include "framework/RuntimeClass.h"

class CWnd
{
  public:
    static const CRuntimeClass classCWnd;
    virtual const CRuntimeClass* GetRuntimeClass() const;

    CWnd() noexcept = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const noexcept { return m_hWnd; }

    // The object attached to a window of this thread, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attach to an existing control: route its messages through this object's
    // message map. The window is released again when it is destroyed or when
    // this object is.
    bool SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();

    // Called before a queued message of this window (or of a child) is
    // dispatched; true swallows the message.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // A notification that the parent reflected back to this control; true
    // when the control took it and the parent must not.
    bool OnChildNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    // Runs PreTranslateMessage for the message's window and its parents,
    // up to and including `top`.
    static bool WalkPreTranslateTree(HWND top, MSG* pMsg);

    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text) const;
    std::wstring GetDlgItemText(int nID) const;
    void SetDlgItemText(int nID, const std::wstring& text) const
    {
        ::SetDlgItemTextW(m_hWnd, nID, text.c_str());
    }
    BOOL ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    BOOL EnableWindow(BOOL bEnable = TRUE) const { return ::EnableWindow(m_hWnd, bEnable); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND SetFocus() const { return ::SetFocus(m_hWnd); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, msg, wParam, lParam);
    }
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    void MoveWindow(const RECT& rc, BOOL bRepaint = TRUE) const;
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    void ModifyStyle(DWORD remove, DWORD add) const;
    void Invalidate(BOOL bErase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, bErase); }

  protected:
    // The message map; the macros of MessageMap.h generate the overrides.
    virtual bool ProcessWindowMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // Hook run when SubclassWindow has attached the object to its window.
    virtual void PreSubclassWindow();
    // Default processing of the message being handled now.
    LRESULT Default();
    void SetMsgHandled(bool handled) { m_bMsgHandled = handled; }
    bool IsMsgHandled() const { return m_bMsgHandled; }

    void AttachObject(HWND hWnd);
    void DetachObject();

    // The message now being handled, for Default().
    MSG m_currentMsg{};
    bool m_bMsgHandled = true;

  private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool m_subclassed = false;
};

inline HWND HwndOf(const CWnd* pWnd) noexcept
{
    return pWnd ? pWnd->m_hWnd : nullptr;
}

// What the framework stopped or could not do goes to the debugger's output
// and to the sink the application names (its run log), so that a user's log
// tells of it although the program goes on. The sink may be called from any
// thread; what it throws is dropped.
void SetFaultSink(void (*sink)(const wchar_t* text)) noexcept;
void ReportFault(const wchar_t* text) noexcept;

// A message that makes a dialog's handler throw, in a process whose
// environment has QVXLIVEUPDATE_FAULT_PROBE=1 (elsewhere it means nothing):
// the tests' proof that a fault stopped at a window callback reaches the log.
UINT FaultProbeMessage() noexcept;
void ThrowIfFaultProbe(UINT message);

// Runs a window callback's body so that no exception leaves it: a failure in
// one message handler must not tear through the system's dispatch code.
template <typename Fn> bool RunGuarded(Fn&& fn) noexcept
{
    try
    {
        fn();
        return true;
    }
    catch (...)
    {
        ReportFault(L"exception stopped at a window callback");
        return false;
    }
}
