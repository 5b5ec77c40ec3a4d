// Stands in for the running client: a process under the client's executable
// name that does nothing until it is terminated.

#include <windows.h>

#include "framework/ScopedHandle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Never signalled: the process ends only when it is terminated.
    KernelHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!never)
        return 1;
    ::WaitForSingleObject(never.Get(), INFINITE);
    return 0;
}
