// The yardstick for the wizard's start-up: the wizard's own resources (the
// frame and Welcome page templates, the pictures, the manifest) shown the way
// the wizard shows them, with nothing else: no settings file, no log, no
// registry, no other library.
//   bare_dialog          shows the frame with the Welcome page until closed

#include <windows.h>
#include <commctrl.h>

#include "resource.h"

namespace
{
INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
    {
        RECT area{};
        ::GetWindowRect(::GetDlgItem(frame, IDC_PAGE_AREA), &area);
        ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&area), 2);
        HWND page = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WELCOME), frame,
                                         PageProc, 0);
        ::MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
        ::ShowWindow(page, SW_SHOW);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_CANCEL_WIZARD))
    {
        ::EndDialog(frame, 0);
        return TRUE;
    }
    return FALSE;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The manifest asks for the version 6 controls, as the wizard does.
    ::InitCommonControls();
    return static_cast<int>(
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_LIVEUPDATE_DIALOG), nullptr, FrameProc, 0));
}
