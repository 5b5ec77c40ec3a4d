// The application room: the command line, and the wizard frame inside this
// process, for what another process cannot see.
#include <gtest/gtest.h>

#include "application/CommandLine.h"
#include "application/LiveUpdateDlg.h"
#include "update/record/LiveUpdateIni.h"

TEST(CommandLine, OptionsChooseTheRunAndAnythingElseIsBad)
{
    const struct
    {
        std::vector<std::wstring> arguments;
        RunMode mode;
        std::wstring installerArgs;
        bool closeClient;
        unsigned deadlineMinutes = kDefaultDeadlineMinutes;
    } cases[] = {
        {{}, RunMode::Wizard, L"", false},
        // Any letter case, either prefix; the value is taken whatever it starts with.
        {{L"-SILENT", L"/Installer-Args", L"/S /D=C:\\Q", L"-CloseClient"},
         RunMode::Silent,
         L"/S /D=C:\\Q",
         true},
        {{L"/silent", L"-Check"}, RunMode::Check, L"", false},
        {{L"/silent", L"-?"}, RunMode::Usage, L"", false},
        {{L"/bogus"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/installer-args"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/installer-args", L"a", L"/installer-args", L"b"}, RunMode::Bad, L"", false},
        {{L"/closeclient"}, RunMode::Bad, L"", false},
        {{L"/?", L"silent"}, RunMode::Bad, L"", false},
        {{L"/check", L"-Deadline", L"1440"}, RunMode::Check, L"", false, 1440},
        {{L"/deadline", L"1", L"/silent"}, RunMode::Silent, L"", false, 1},
        {{L"/silent", L"/deadline", L"0"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/deadline", L"1441"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/deadline", L"1h"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/deadline", L"5", L"/deadline", L"5"}, RunMode::Bad, L"", false},
        {{L"/deadline", L"5"}, RunMode::Bad, L"", false},
    };
    int row = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(row++);
        const CommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(c.mode, parsed.mode);
        EXPECT_EQ(c.mode == RunMode::Bad, !parsed.problem.empty());
        EXPECT_TRUE(c.mode == RunMode::Bad ||
                    (c.installerArgs == parsed.installerArgs && c.closeClient == parsed.closeClient &&
                     c.deadlineMinutes == parsed.deadlineMinutes));
    }
    // The log sees the length of the installer's arguments, never the text.
    EXPECT_EQ(L"\"C:\\a b\\x.exe\" -silent /INSTALLER-ARGS (9 characters) \"/d e\"",
              CommandLineForLog(L"\"C:\\a b\\x.exe\" -silent /INSTALLER-ARGS \"/S /K=123\" \"/d e\""));
    EXPECT_EQ(L"x.exe  /check", CommandLineForLog(L"x.exe  /check"));
    // Split as the runtime splits, without the program's name.
    EXPECT_EQ((std::vector<std::wstring>{L"/installer-args", L"/D=\"C:\\P F\"", L""}),
              SplitArguments(L"\"C:\\a b\\x.exe\" /installer-args \"/D=\\\"C:\\P F\\\"\" \"\""));
}

TEST(LiveUpdateDlg, SystemMenuEndsWithASeparatorAndTheAboutEntry)
{
    ::DeleteFileW(LiveUpdateIniPath().c_str());
    CLiveUpdateDlg frame(nullptr);
    ASSERT_TRUE(frame.Create(CLiveUpdateDlg::IDD, nullptr));
    HMENU menu = ::GetSystemMenu(frame.m_hWnd, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR), ::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"关于 QVXLiveUpdate(&A)...", text);
    EXPECT_EQ(16u, ::GetMenuItemID(menu, count - 1));
    frame.DestroyWindow();
}
