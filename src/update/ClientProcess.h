#pragma once
// Finding the running client program by its executable name.

#include <windows.h>

// What FindClientProcess returns when no client runs.
constexpr DWORD kNoClientProcess = static_cast<DWORD>(-1);

// The client's executable file name, compared without regard to letter case.
extern const wchar_t kClientExeName[];

// True when `exeName`, a bare file name as the process snapshot reports it,
// names the client.
bool IsClientExeName(const wchar_t* exeName);

// The id of the first process, in snapshot order, that runs the client, or
// kNoClientProcess when there is none or the snapshot cannot be read.
DWORD FindClientProcess();
