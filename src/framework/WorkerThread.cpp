#include "framework/WorkerThread.h"

#include <process.h>

KernelHandle StartIdleThread(ThreadProc proc, void* arg)
{
    KernelHandle thread(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, proc, arg, CREATE_SUSPENDED, nullptr)));
    if (!thread)
        return thread;
    ::SetThreadPriority(thread.Get(), THREAD_PRIORITY_IDLE);
    ::ResumeThread(thread.Get());
    return thread;
}

KernelHandle StartThread(ThreadProc proc, void* arg)
{
    return KernelHandle(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, proc, arg, 0, nullptr)));
}
