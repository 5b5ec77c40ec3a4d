#include "application/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "framework/ScopedHandle.h"
#include "support/WideText.h"

const wchar_t kUsageText[] =
    L"Usage: QVXLiveUpdate [/silent [/installer-args \"<text>\"] [/closeclient] | /check] [/deadline "
    L"<minutes>]\r\n"
    L"       QVXLiveUpdate /?\r\n"
    L"  (no option)       the upgrade wizard\r\n"
    L"  /silent           check, download, install; no window at all\r\n"
    L"  /installer-args   the package's command line in silent mode, e.g. its own silent switch\r\n"
    L"  /closeclient      in silent mode, end a running client instead of giving up\r\n"
    L"  /check            check only: 10 when a newer version is offered, 1 when current\r\n"
    L"  /deadline         with /silent or /check: the minutes the run may take (1 to 1440, default 240)\r\n"
    L"Exit codes: 0 installed, 1 already current, 2 the client is running, 3 the check failed,\r\n"
    L"  4 the download or a package check failed, 5 the package could not be started,\r\n"
    L"  6 another run holds the lock, 7 bad command line, 8 the installer reported a failure,\r\n"
    L"  9 the installer still runs at the deadline, 10 a newer version is offered,\r\n"
    L"  11 updates are switched off by policy, 12 internal fault,\r\n"
    L"  1641 and 3010 installed, Windows restarts or must restart (the installer's own codes)\r\n"
    L"The log: QVXLiveUpdate.log in the working folder that the outcome line names.\r\n";

namespace
{
bool IsOption(const std::wstring& argument, const wchar_t* name)
{
    return ::CompareStringOrdinal(argument.c_str() + 1, -1, name, -1, TRUE) == CSTR_EQUAL;
}

CommandLine Bad(const std::wstring& problem)
{
    CommandLine bad;
    bad.mode = RunMode::Bad;
    bad.problem = problem;
    return bad;
}
} // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments)
{
    CommandLine result;
    bool silent = false, check = false, usage = false, argsGiven = false, deadlineGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::wstring& argument = arguments[i];
        if (argument.size() < 2 || (argument[0] != L'/' && argument[0] != L'-'))
            return Bad(L"unexpected argument \"" + argument + L"\"");
        if (IsOption(argument, L"silent"))
            silent = true;
        else if (IsOption(argument, L"check"))
            check = true;
        else if (IsOption(argument, L"closeclient"))
            result.closeClient = true;
        else if (IsOption(argument, L"?"))
            usage = true;
        else if (IsOption(argument, L"installer-args"))
        {
            if (argsGiven)
                return Bad(argument + L" is given twice");
            if (i + 1 == arguments.size())
                return Bad(argument + L" needs a value");
            result.installerArgs = arguments[++i];
            argsGiven = true;
        }
        else if (IsOption(argument, L"deadline"))
        {
            if (deadlineGiven)
                return Bad(argument + L" is given twice");
            if (i + 1 == arguments.size())
                return Bad(argument + L" needs a value");
            result.deadlineMinutes = ParseNumberInRange(arguments[++i], 1, kMaxDeadlineMinutes);
            if (!result.deadlineMinutes)
                return Bad(argument + L" takes 1 to " + std::to_wstring(kMaxDeadlineMinutes) +
                           L" minutes, not \"" + arguments[i] + L"\"");
            deadlineGiven = true;
        }
        else
            return Bad(L"unknown option \"" + argument + L"\"");
    }
    if (usage)
        result.mode = RunMode::Usage;
    else if ((argsGiven || result.closeClient) && !silent)
        return Bad(L"/installer-args and /closeclient work with /silent only");
    else if (deadlineGiven && !silent && !check)
        return Bad(L"/deadline works with /silent and /check only");
    else if (check)
        result.mode = RunMode::Check;
    else if (silent)
        result.mode = RunMode::Silent;
    return result;
}

std::wstring CommandLineForLog(const wchar_t* commandLine)
{
    const std::wstring line = commandLine ? commandLine : L"";
    int count = 0;
    LocalMemory memory(line.empty() ? nullptr : ::CommandLineToArgvW(line.c_str(), &count));
    auto* argv = static_cast<wchar_t**>(memory.Get());
    std::wstring logged;
    bool hidden = false;
    for (int i = 0; argv && i < count; ++i)
    {
        std::wstring argument = argv[i];
        const std::wstring before = i > 1 ? argv[i - 1] : L"";
        if (before.size() > 1 && (before[0] == L'/' || before[0] == L'-') &&
            IsOption(before, L"installer-args"))
        {
            argument = L"(" + std::to_wstring(argument.size()) + L" characters)";
            hidden = true;
        }
        else if (argument.empty() || argument.find_first_of(L" \t") != std::wstring::npos)
            argument = L"\"" + argument + L"\"";
        logged += (i > 0 ? L" " : L"") + argument;
    }
    // Nothing hidden: the line as it was given.
    return hidden ? logged : line;
}

std::vector<std::wstring> SplitArguments(const wchar_t* commandLine)
{
    std::vector<std::wstring> arguments;
    // An empty line would be split into the program's own path.
    if (!commandLine || !*commandLine)
        return arguments;
    int count = 0;
    LocalMemory memory(::CommandLineToArgvW(commandLine, &count));
    auto* argv = static_cast<wchar_t**>(memory.Get());
    for (int i = 1; argv && i < count; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}
