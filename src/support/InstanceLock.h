#pragma once
// One run at a time in the working folder: its lock is a file there, held
// open without any sharing while a run lasts and removed when the run ends,
// however it ends. Only the account, the system and the Administrators may
// create anything in the working folder, and the file grants nobody else
// anything, so no other account can take the lock first, hold it, or make a
// run believe that another one holds it.

#include <windows.h>

#include <string>

#include "framework/ScopedHandle.h"

extern const wchar_t kInstanceLockName[];

// Takes the lock of `folder` (with its trailing backslash): the held file, or
// an invalid handle with the system's error in `error`, which is
// ERROR_SHARING_VIOLATION when another run holds it.
FileHandle TakeInstanceLock(const std::wstring& folder, DWORD& error);
