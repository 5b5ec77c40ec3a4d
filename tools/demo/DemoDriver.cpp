// Walks the demo through a whole upgrade on a display nobody watches, the
// way a user would, and keeps a picture of every step: the Welcome page,
// the check, the offered version, the download, the question about the
// running client, the installer; then a second run that finds the client
// current. Arguments: the wizard's folder of work and the pictures' folder.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/Process.h"
#include "harness/Window.h"

using namespace harness;

namespace
{
std::wstring g_shots;

// Nothing in the window or below it still waits for its WM_PAINT.
bool NothingLeftToPaint(HWND hWnd)
{
    if (::GetUpdateRect(hWnd, nullptr, FALSE))
        return false;
    for (HWND child = ::GetWindow(hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child) && !NothingLeftToPaint(child))
            return false;
    return true;
}

// The visible controls of a window that show something: a text, a frame, a
// bar. A static without text (a separator, a picture holder) may be blank.
void CollectShownControls(HWND hWnd, std::vector<HWND>& found)
{
    for (HWND child = ::GetWindow(hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    {
        if (!::IsWindowVisible(child))
            continue;
        if (!TextOf(child).empty() || ClassOf(child) != L"Static")
            found.push_back(child);
        CollectShownControls(child, found);
    }
}

// Whether the screen shows the control drawn. Wine copies what a program
// painted to the screen later, when its thread next waits for messages; a
// control not copied yet is one flat colour, and no drawn text, frame or
// bar is.
bool DrawnOnScreen(HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool drawn = false;
    if (bitmap && bits)
    {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::SelectObject(memory, old);
        ::GdiFlush();
        const DWORD* pixels = static_cast<const DWORD*>(bits);
        drawn = std::any_of(pixels, pixels + width * height, [&](DWORD pixel) { return pixel != pixels[0]; });
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return drawn;
}

// Waits until the window is shown with its controls, has repainted itself
// whole, and the screen shows the result: a window another program has just
// opened or switched to may not have painted yet.
bool WaitUntilDrawn(HWND window)
{
    HWND top = ::GetAncestor(window, GA_ROOT);
    std::vector<HWND> controls;
    const auto shown = [&]
    {
        controls.clear();
        CollectShownControls(top, controls);
        return IsVisible(window) && ::GetWindow(window, GW_CHILD) && !controls.empty();
    };
    if (!WaitUntil(shown))
        return false;
    // Returns once the window's thread has handled the WM_PAINT messages.
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return WaitUntil(
        [&]
        {
            return shown() && NothingLeftToPaint(top) &&
                   std::all_of(controls.begin(), controls.end(), DrawnOnScreen);
        });
}

// Pictures the screen once `window` is drawn.
void Shot(const wchar_t* name, HWND window)
{
    if (!WaitUntilDrawn(window))
    {
        std::printf("  %ls: not drawn in time, no picture\n", name);
        return;
    }
    const std::wstring path = g_shots + L"\\" + name + L".bmp";
    std::printf("  %ls\n", SaveScreenshot(path) ? name : L"(no picture)");
}

bool Fail(const char* what)
{
    std::printf("demo: %s\n", what);
    return false;
}

// Starts the wizard and waits for its Welcome page; null when it did not come.
HWND StartAtWelcome(Process& wizard, const std::wstring& work)
{
    if (!wizard.Start(WizardExePath(), work))
        return Fail("the wizard did not start"), nullptr;
    HWND frame = WaitForFrame(wizard.Id());
    if (!frame || !WaitForPage(frame, L"CWelcomeDlg"))
        return Fail("no Welcome page"), nullptr;
    return frame;
}

bool FirstRun(const std::wstring& work, const std::wstring& client)
{
    Process clientProcess;
    clientProcess.Start(client, work);

    Process wizard;
    HWND frame = StartAtWelcome(wizard, work);
    if (!frame)
        return false;
    Shot(L"1-welcome", CurrentPage(frame));

    Click(Item(frame, 1000));
    if (WaitForPage(frame, L"CCheckVersionDlg", 3000))
        Shot(L"2-check", CurrentPage(frame));
    if (!WaitForPage(frame, L"CNewVersionDlg", 30000))
        return Fail("no new version was offered");
    Shot(L"3-new-version", CurrentPage(frame));

    Click(Item(frame, 1000));
    HWND page = nullptr;
    WaitUntil([&] { return (page = FindPage(frame, L"CDownloadDlg")) != nullptr; });
    // Once the line under the bar tells a speed, it and the bar agree.
    if (page && WaitUntil(
                    [&]
                    {
                        return ProgressOf(Item(page, 1018)) >= 3000 &&
                               TextOf(Item(page, 1023)).find(L"速度") != std::wstring::npos;
                    },
                    30000))
        Shot(L"4-download", page);

    HWND notice = WaitForTopWindow(wizard.Id(), L"#32770", L"Qora企业版在线升级", 60000);
    if (!notice)
        return Fail("the running client was not noticed");
    Shot(L"5-close-client", notice);
    Click(Item(notice, IDOK));

    // The installer is a program of its own, started by the wizard.
    HWND installer = nullptr;
    WaitUntil([&] { return (installer = ::FindWindowW(nullptr, L"Qora校园版 安装程序")) != nullptr; }, 30000);
    if (!installer || !WaitUntil([&] { return IsVisible(Item(installer, IDOK)); }))
        return Fail("the installer did not start");
    Shot(L"6-installer", installer);
    ::PostMessageW(installer, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    if (!wizard.WaitForExit(30000) || wizard.ExitCode() != 0)
        return Fail("the wizard did not end after the installation");
    return true;
}

bool SecondRun(const std::wstring& work)
{
    Process wizard;
    HWND frame = StartAtWelcome(wizard, work);
    if (!frame)
        return false;
    Shot(L"7-welcome-upgraded", CurrentPage(frame));
    Click(Item(frame, 1000));
    if (!WaitForPage(frame, L"CFinishDlg", 30000))
        return Fail("the check did not end on the Finish page");
    Shot(L"8-finish", CurrentPage(frame));
    Click(Item(frame, 1000));
    return wizard.WaitForExit(15000) || Fail("the wizard did not end");
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
    {
        std::printf("usage: demo_driver <work folder> <pictures folder> <client exe>\n");
        return 2;
    }
    g_shots = argv[2];
    std::printf("Driving the wizard through an upgrade:\n");
    if (!FirstRun(argv[1], argv[3]))
        return 1;
    std::printf("Running it again, now that the client is current:\n");
    return SecondRun(argv[1]) ? 0 : 1;
}
