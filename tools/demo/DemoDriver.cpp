// Walks the demo through a whole upgrade on a display nobody watches, the
// way a user would, and keeps a picture of every step: the Welcome page,
// the check, the offered version, the download, the question about the
// running client, the installer; then a second run that finds the client
// current. Arguments: the wizard's folder of work and the pictures' folder.

#include <cstdio>
#include <string>

#include "Harness.h"

using namespace e2e;

namespace
{
std::wstring g_shots;

// A window another program has just opened may not have painted itself yet.
void Settle(HWND hWnd)
{
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
}

void Shot(const wchar_t* name)
{
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
    Shot(L"1-welcome");

    Click(Item(frame, 1000));
    if (WaitForPage(frame, L"CCheckVersionDlg", 3000))
        Shot(L"2-check");
    if (!WaitForPage(frame, L"CNewVersionDlg", 30000))
        return Fail("no new version was offered");
    Shot(L"3-new-version");

    Click(Item(frame, 1000));
    HWND page = nullptr;
    WaitUntil([&] { return (page = FindPage(frame, L"CDownloadDlg")) != nullptr; });
    if (page && WaitUntil([&] { return ProgressOf(Item(page, 1018)) >= 3000; }, 30000))
        Shot(L"4-download");

    HWND notice = WaitForTopWindow(wizard.Id(), L"#32770", L"Qora企业版在线升级", 60000);
    if (!notice)
        return Fail("the running client was not noticed");
    Settle(notice);
    Shot(L"5-close-client");
    Click(Item(notice, IDOK));

    // The installer is a program of its own, started by the wizard.
    HWND installer = nullptr;
    WaitUntil([&] { return (installer = ::FindWindowW(nullptr, L"Qora校园版 安装程序")) != nullptr; }, 30000);
    if (!installer || !WaitUntil([&] { return IsVisible(Item(installer, IDOK)); }))
        return Fail("the installer did not start");
    Settle(installer);
    Shot(L"6-installer");
    ::PostMessageW(installer, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    DWORD exitCode = 1;
    if (!wizard.WaitForExit(30000, &exitCode) || exitCode != 0)
        return Fail("the wizard did not end after the installation");
    return true;
}

bool SecondRun(const std::wstring& work)
{
    Process wizard;
    HWND frame = StartAtWelcome(wizard, work);
    if (!frame)
        return false;
    Shot(L"7-welcome-upgraded");
    Click(Item(frame, 1000));
    if (!WaitForPage(frame, L"CFinishDlg", 30000))
        return Fail("the check did not end on the Finish page");
    Shot(L"8-finish");
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
