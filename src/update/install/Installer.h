#pragma once
// The last step of an upgrade: close the client, run the downloaded package,
// wait for it and clean up.

#include <windows.h>

#include <functional>
#include <string>

#include "framework/ScopedHandle.h"

// Name of the file the package leaves in its temporary folder. The odd
// spelling is what the installers write: it must stay exactly so.
extern const wchar_t kInstallerResultName[];

// The installer's temporary folder, its TEMP and TMP: the working folder
// (support/WorkingFolder.h), where no other account may put or change a
// file, or the temporary folder when there is none.
std::wstring InstallerTempFolder();

// InstallerTempFolder() followed by kInstallerResultName.
std::wstring InstallerResultPath();

// True when the result file's "UserCancel" value says the user cancelled
// the installation.
bool IsUserCancel(const std::wstring& value);

// How the install step ended.
struct InstallReport
{
    enum Result
    {
        Installed,   // the installer ran and ended
        GivenUp,     // the client stays: nothing was run
        NotStarted,  // the package could not be started
        StillRunning // the wait ended with the installer running: it is left to run
    } result = NotStarted;
    DWORD startError = 0;       // the shell's error when it could not start the package
    DWORD exitCode = 0;         // the installer's own exit code
    bool userCancelled = false; // the installer's result file says its user cancelled it
};

// Asks `confirmClientClosed` to make sure the client is not running (false:
// the upgrade is given up), runs the package at `packagePath` with
// `parameters` and InstallerTempFolder() as its temporary folder, waits for
// it up to `waitMs`, and deletes the package and the update record, whatever
// happened on the way; an installer still running when the wait ends is
// never ended, and keeps its package. `package`, the verified package held
// open without write or delete sharing, is let go once the installer has
// started (or the upgrade is given up). The shell shows no box of its own
// when the package cannot be started: the wizard says what went wrong in
// one box, and unattended nobody is there to answer one. A package that
// another program holds is tried again (see kHeldFileRetryMs). Everything
// is logged.
InstallReport RunInstallerStep(const std::wstring& packagePath, FileHandle package,
                               const std::function<bool()>& confirmClientClosed,
                               const std::wstring& parameters = std::wstring(), DWORD waitMs = INFINITE);
