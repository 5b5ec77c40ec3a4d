#pragma once
// The upgrade without the wizard: /silent checks, downloads, installs and
// ends with an exit code that tells what happened; /check only asks. Nothing
// here shows a window or a box.

#include <windows.h>

#include <optional>
#include <string>

#include "application/CommandLine.h"

// The exit codes an administrator's script reads; the README lists them.
enum class UnattendedExit
{
    Installed = 0,       // the installer ran and ended with exit code 0
    Current = 1,         // the installed client is the newest
    ClientRunning = 2,   // the client runs and may not be closed: nothing installed
    CheckFailed = 3,     // the check failed or its answer was unusable
    DownloadFailed = 4,  // the download or a check of the package failed
    NotStarted = 5,      // the package could not be started
    AnotherInstance = 6, // another run holds the working folder's lock
    BadCommandLine = 7,
    InstallerFailed = 8,       // the installer ended with another code, or its user cancelled it
    InstallerStillRunning = 9, // the installer still runs at the deadline: it is left running
    NewVersion = 10,           // /check: a newer version is offered
    SwitchedOff = 11,          // the administrator's policy switches updates off: nothing was asked
    InternalFault = 12,        // an error nothing expected (the log has it)
    // The installer's own codes for an installation that needs Windows to
    // restart, passed on as they are.
    RestartStarted = 1641,
    RestartRequired = 3010,
};

// From now on an exception that nothing catches, on any thread, ends the
// process with InternalFault, logged and told on the console, instead of
// abort()'s 3 ("the check failed") and any box the runtime would show where
// nobody can answer it.
void EndUncaughtExceptionsAsInternalFault();

// For /? and a bad command line: prints the usage (after what is wrong) to
// the parent's console and logs a bad one. 0 for /?, 7 for a bad one.
int ReportCommandLine(const CommandLine& options);

// Ends an unattended run: logs the outcome, prints the one line to the
// parent's console and returns the exit code.
int EndUnattended(UnattendedExit exit, const std::wstring& installedVersion = std::wstring(),
                  const std::wstring& offeredVersion = std::wstring(),
                  std::optional<DWORD> installerExitCode = std::nullopt);

// The run itself, for /silent and /check, once this is the only instance and
// the log is open: the check and, for /silent, the download and the
// installation. Returns the exit code.
int RunUnattended(const CommandLine& options);

// The line the parent's console gets: the outcome (with the installer's own
// exit code once it ended), the versions, the log.
std::wstring FormatOutcomeLine(UnattendedExit exit, const std::wstring& installedVersion,
                               const std::wstring& offeredVersion, const std::wstring& logPath,
                               std::optional<DWORD> installerExitCode = std::nullopt);
