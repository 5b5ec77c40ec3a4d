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

// How long a terminated client is waited for: termination only starts the
// process's end, and the installer must not find the client's files in use.
constexpr DWORD kClientEndWaitMs = 10000;

// Terminates process `processId`, found by FindClientProcess, with exit code
// 0, but only while it still runs the client's executable (its id may have
// been reused by another program since the snapshot), then waits up to
// kClientEndWaitMs for it to end. True when it was terminated.
bool TerminateClientProcess(DWORD processId);
