#pragma once
// The checked package takes its name: the partial file is renamed to the
// package's path and held for the installer, and the installation is
// claimed in the same step. Security software often holds a new program for
// seconds while it scans it; the step is then tried again.

#include <windows.h>

#include <string>

#include "framework/ScopedHandle.h"
#include "update/download/PackageDownload.h"
#include "update/download/PartialFile.h"

enum class NamingResult
{
    Named,     // `package` holds the package at its path; the installation is claimed
    Abandoned, // the wizard was left meanwhile
    Failed,    // the system's error says why
};

// Renames `file` to `packagePath` and holds it (PartialFile::RenameAndHold)
// under the listener's claim, removing `statePath` once it is named. While
// another program holds the file (IsHeldFileError), waits kHeldFileRetryMs
// and tries again, for up to kHeldFileRetryLimitMs; each wait is logged.
NamingResult NamePackage(PartialFile& file, const std::wstring& packagePath, const std::wstring& statePath,
                         DownloadListener& listener, FileHandle& package, DWORD& error);
