#pragma once
// The programs a test starts and waits for: the test program's own folder,
// the stand-ins and the wizard beside it, a started process that ends with
// its object, waits that keep this thread's windows answering, and
// environment variables set for a while.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/ScopedHandle.h"

namespace harness
{
// Processes the calling thread's messages until `done` holds or `timeoutMs`
// passes, looking again every `pollMs`: windows of this thread keep
// answering (also to other processes) while the test waits.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000, DWORD pollMs = 15);

// Folder of the test program, with a trailing backslash.
std::wstring TestProgramFolder();
// A stand-in program of the build: ..\standins\<name> beside the test program.
std::wstring StandInPath(const std::wstring& exeName);
// The program under test (QVX_EXE names another).
std::wstring WizardExePath();

// A started program, terminated when the object goes unless it has ended by
// then. It gets no standard handles of ours: a pipe the test runner reads
// would otherwise stay open until the program's process is gone.
class Process
{
  public:
    Process() = default;
    ~Process() { Kill(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The program's standard output and error go to `outputPath` when one
    // is named, and nowhere otherwise.
    bool Start(const std::wstring& exe, const std::wstring& workDir = L"", const std::wstring& args = L"",
               const std::wstring& outputPath = L"");
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process.Get(); }
    bool IsRunning() const;
    // True when it ended within the time, while this thread's windows kept
    // answering.
    bool WaitForExit(DWORD timeoutMs = 15000) const;
    // STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    void Kill();

  private:
    KernelHandle m_process;
    DWORD m_id = 0;
};

// Sets an environment variable of this process (and so of the programs it
// starts from now on) and restores the earlier state at the end.
class ScopedEnvironment
{
  public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::wstring m_name;
    std::wstring m_previous;
    bool m_hadValue = false;
};

// The first of `ids` in the order the process snapshot lists them, or 0.
DWORD FirstInSnapshotOrder(const std::vector<DWORD>& ids);
} // namespace harness
