#include <gtest/gtest.h>

#include "application/CommandLine.h"

namespace
{
struct ParseCase
{
    std::vector<std::wstring> arguments;
    RunMode mode;
    std::wstring installerArgs;
    bool closeClient;
};
} // namespace

TEST(CommandLine, OptionsChooseTheRunAndAnythingElseIsBad)
{
    const ParseCase cases[] = {
        {{}, RunMode::Wizard, L"", false},
        {{L"/silent"}, RunMode::Silent, L"", false},
        // Any letter case, either prefix; the value is taken whatever it starts with.
        {{L"-SILENT", L"/Installer-Args", L"/S /D=C:\\Program Files\\Qora", L"-CloseClient"},
         RunMode::Silent,
         L"/S /D=C:\\Program Files\\Qora",
         true},
        {{L"/installer-args", L"-silent", L"/silent"}, RunMode::Silent, L"-silent", false},
        {{L"/check"}, RunMode::Check, L"", false},
        {{L"/silent", L"-Check", L"/closeclient"}, RunMode::Check, L"", true},
        {{L"/?"}, RunMode::Usage, L"", false},
        {{L"/silent", L"-?"}, RunMode::Usage, L"", false},
        {{L"/bogus"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/installer-args"}, RunMode::Bad, L"", false},
        {{L"/silent", L"/installer-args", L"a", L"/installer-args", L"b"}, RunMode::Bad, L"", false},
        {{L"/closeclient"}, RunMode::Bad, L"", false},
        {{L"/check", L"/installer-args", L"/S"}, RunMode::Bad, L"", false},
        {{L"silent"}, RunMode::Bad, L"", false},
        {{L"/"}, RunMode::Bad, L"", false},
        {{L"/?", L"/silentt"}, RunMode::Bad, L"", false},
    };
    for (const ParseCase& c : cases)
    {
        std::wstring joined;
        for (const std::wstring& argument : c.arguments)
            joined += L"[" + argument + L"]";
        SCOPED_TRACE(::testing::PrintToString(joined));
        const CommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(c.mode, parsed.mode);
        EXPECT_EQ(c.mode == RunMode::Bad, !parsed.problem.empty());
        if (c.mode == RunMode::Bad)
            continue;
        EXPECT_EQ(c.installerArgs, parsed.installerArgs);
        EXPECT_EQ(c.closeClient, parsed.closeClient);
    }
}

TEST(CommandLine, SplitsAsTheRuntimeDoesWithoutTheProgramName)
{
    EXPECT_EQ(
        (std::vector<std::wstring>{L"/silent", L"/installer-args", L"/S /D=\"C:\\Program Files\""}),
        SplitArguments(L"\"C:\\a b\\QVXLiveUpdate.exe\" /silent /installer-args \"/S /D=\\\"C:\\Program "
                       L"Files\\\"\""));
    EXPECT_EQ((std::vector<std::wstring>{L""}), SplitArguments(L"QVXLiveUpdate.exe \"\""));
    EXPECT_TRUE(SplitArguments(L"QVXLiveUpdate.exe").empty());
    EXPECT_TRUE(SplitArguments(L"").empty());
}
