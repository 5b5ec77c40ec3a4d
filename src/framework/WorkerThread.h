#pragma once
// Background worker threads, which the user interface never waits for.

#include <memory>

#include "framework/ScopedHandle.h"

using ThreadProc = unsigned(__stdcall*)(void*);

// Starts `proc(arg)` with the C runtime's thread start: created suspended,
// set to idle priority so the user interface always comes first, then
// resumed. An invalid handle when no thread could be made; `proc` then never
// runs. The procedure must let no exception out.
KernelHandle StartIdleThread(ThreadProc proc, void* arg);

// The same at normal priority, for a thread that must run at its moment
// however busy the machine is.
KernelHandle StartThread(ThreadProc proc, void* arg);

// The same for a job the thread takes over: it owns `job` once it has
// started; when no thread could be made the job stays with the caller.
template <typename Job> KernelHandle StartIdleThread(ThreadProc proc, std::unique_ptr<Job>& job)
{
    KernelHandle thread = StartIdleThread(proc, job.get());
    if (thread)
        job.release();
    return thread;
}
