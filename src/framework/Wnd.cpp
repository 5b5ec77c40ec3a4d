#include "framework/Wnd.h"

#include <commctrl.h>
#include <vector>

namespace
{
const wchar_t kObjectProperty[] = L"QVXLiveUpdate.CWnd";
const UINT_PTR kSubclassId = 1;
void (*volatile g_faultSink)(const wchar_t*) = nullptr;

// What the fault probe throws: nothing catches it but the guard.
struct FaultProbe
{
};
} // namespace

void SetFaultSink(void (*sink)(const wchar_t* text)) noexcept
{
    g_faultSink = sink;
}

void ReportFault(const wchar_t* text) noexcept
{
    ::OutputDebugStringW(L"QVXLiveUpdate: ");
    ::OutputDebugStringW(text);
    ::OutputDebugStringW(L"\n");
    try
    {
        if (auto sink = g_faultSink)
            sink(text);
    }
    catch (...)
    {
    }
}

UINT FaultProbeMessage() noexcept
{
    static const UINT message = ::RegisterWindowMessageW(L"QVXLiveUpdate.FaultProbe");
    return message;
}

void ThrowIfFaultProbe(UINT message)
{
    static const bool armed = []
    {
        wchar_t value[4] = {};
        return ::GetEnvironmentVariableW(L"QVXLIVEUPDATE_FAULT_PROBE", value, 4) == 1 && value[0] == L'1';
    }();
    if (armed && message == FaultProbeMessage() && message != 0)
        throw FaultProbe();
}

const CRuntimeClass CWnd::classCWnd = {"CWnd", nullptr};
const CRuntimeClass* CWnd::GetRuntimeClass() const
{
    return &classCWnd;
}

CWnd::~CWnd()
{
    if (m_subclassed)
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    return static_cast<CWnd*>(::GetPropW(hWnd, kObjectProperty));
}

void CWnd::AttachObject(HWND hWnd)
{
    m_hWnd = hWnd;
    ::SetPropW(hWnd, kObjectProperty, this);
}

void CWnd::DetachObject()
{
    if (m_hWnd)
        ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

bool CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd))
        return false;
    if (!::SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_subclassed = true;
    AttachObject(hWnd);
    PreSubclassWindow();
    return true;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (m_subclassed && hWnd)
        ::RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
    m_subclassed = false;
    DetachObject();
    return hWnd;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR ref)
{
    CWnd* self = reinterpret_cast<CWnd*>(ref);
    if (uMsg == WM_NCDESTROY)
    {
        self->UnsubclassWindow();
        return ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
    }
    const MSG saved = self->m_currentMsg;
    self->m_currentMsg = MSG{hWnd, uMsg, wParam, lParam, 0, {0, 0}};
    LRESULT result = 0;
    bool handled = false;
    RunGuarded([&] { handled = self->ProcessWindowMessage(uMsg, wParam, lParam, result); });
    self->m_currentMsg = saved;
    return handled ? result : ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

bool CWnd::ProcessWindowMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

void CWnd::PreSubclassWindow() {}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::Default()
{
    if (!m_subclassed)
        return 0;
    return ::DefSubclassProc(m_currentMsg.hwnd, m_currentMsg.message, m_currentMsg.wParam,
                             m_currentMsg.lParam);
}

bool CWnd::OnChildNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    bool handled = false;
    RunGuarded([&] { handled = ProcessWindowMessage(OCM_BASE + uMsg, wParam, lParam, lResult); });
    return handled;
}

bool CWnd::WalkPreTranslateTree(HWND top, MSG* pMsg)
{
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h))
    {
        CWnd* wnd = FromHandlePermanent(h);
        BOOL eaten = FALSE;
        if (wnd)
            RunGuarded([&] { eaten = wnd->PreTranslateMessage(pMsg); });
        if (eaten)
            return true;
        if (h == top)
            break;
    }
    return false;
}

namespace
{
std::wstring TextOfWindow(HWND hWnd)
{
    const int length = ::GetWindowTextLengthW(hWnd);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hWnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}
} // namespace

std::wstring CWnd::GetWindowText() const
{
    return TextOfWindow(m_hWnd);
}

std::wstring CWnd::GetDlgItemText(int nID) const
{
    return TextOfWindow(GetDlgItem(nID));
}

void CWnd::SetWindowText(const std::wstring& text) const
{
    ::SetWindowTextW(m_hWnd, text.c_str());
}

RECT CWnd::GetWindowRect() const
{
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetClientRect() const
{
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

void CWnd::MoveWindow(const RECT& rc, BOOL bRepaint) const
{
    ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint);
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) const
{
    const DWORD style = GetStyle();
    const DWORD changed = (style & ~remove) | add;
    if (changed != style)
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
}
