#pragma once
// The last step of an upgrade: close the client, run the downloaded package,
// wait for it, clean up and end the updater.

#include <windows.h>

#include <functional>
#include <string>

#include "framework/ScopedHandle.h"

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
// process with exit code 0, whatever happened on the way. `package`, the
// verified package held open without write or delete sharing, is let go
// once the installer has started (or the upgrade is given up).
[[noreturn]] void RunInstallerStep(HWND hFrame, const std::wstring& packagePath, FileHandle package,
                                   const std::function<bool()>& confirmClientClosed);
