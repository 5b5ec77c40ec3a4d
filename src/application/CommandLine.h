#pragma once
// The program's command line: without options the wizard runs; the options
// run it unattended, for administrators who keep many machines current from
// a scheduled task or a deployment tool.

#include <string>
#include <vector>

enum class RunMode
{
    Wizard, // no option: the wizard, as a user runs it
    Silent, // check, download, install, no window at all
    Check,  // check only, no window, nothing written or downloaded
    Usage,  // "/?"
    Bad,    // an unknown option, a missing value, an option out of place
};

// The time an unattended run may take: at most, and unless told otherwise.
constexpr unsigned kMaxDeadlineMinutes = 1440;
constexpr unsigned kDefaultDeadlineMinutes = 240;

struct CommandLine
{
    RunMode mode = RunMode::Wizard;
    std::wstring installerArgs;                         // the package's command line in silent mode
    bool closeClient = false;                           // a running client is ended in silent mode
    unsigned deadlineMinutes = kDefaultDeadlineMinutes; // for /silent and /check
    std::wstring problem;                               // what is wrong with a Bad command line
};

// Reads the arguments after the program's name. Options start with "/" or
// "-" and are matched without regard to letter case: /silent, /check,
// /closeclient, /installer-args <text> (the next argument, whatever it
// starts with, taken once), /deadline <minutes> (1 to kMaxDeadlineMinutes,
// once) and /?. /installer-args and /closeclient need /silent, /deadline
// /silent or /check; /check may come with /silent and wins. Anything else, or a value
// missing, is Bad; /? with nothing bad is Usage.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// The arguments of `commandLine` after the program's name, split as the
// C runtime splits them (quotes group, backslash-quote is a quote).
std::vector<std::wstring> SplitArguments(const wchar_t* commandLine);

// `commandLine` (the program's name first) as the log may show it: the value
// of every /installer-args, which may hold a licence key or a password, is
// given as its length only ("(12 characters)").
std::wstring CommandLineForLog(const wchar_t* commandLine);

// What the program prints for /? and after a bad command line.
extern const wchar_t kUsageText[];
