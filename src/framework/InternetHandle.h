#pragma once
// Owner of a WinINet handle.

#include <windows.h>
#include <wininet.h>

#include "framework/ScopedHandle.h"

struct InternetHandleTraits
{
    using Handle = HINTERNET;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::InternetCloseHandle(h); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;
