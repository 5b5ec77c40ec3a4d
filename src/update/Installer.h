#pragma once
// The last step of an upgrade: close the client, run the downloaded package,
// wait for it, clean up and end the updater.

#include <windows.h>

#include <functional>
#include <string>

// Name of the file the package leaves in the temporary folder.
extern const wchar_t kInstallerResultName[];

// The temporary folder followed by kInstallerResultName.
std::wstring InstallerResultPath();

// True when the result file's "UserCancel" value says the user cancelled
// the installation.
bool IsUserCancel(const std::wstring& value);

// Hides `hFrame` (a window of another thread), asks `confirmClientClosed`
// to make sure the client is not running (false: the user gave the upgrade
// up), runs the package at `packagePath` and waits for it, deletes the
// package and the update record, posts WM_CLOSE to `hFrame` and ends the
// process with exit code 0, whatever happened on the way.
[[noreturn]] void RunInstallerStep(HWND hFrame, const std::wstring& packagePath,
                                   const std::function<bool()>& confirmClientClosed);
