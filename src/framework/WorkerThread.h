#pragma once
// Background threads of the pages.

#include "framework/ScopedHandle.h"

using ThreadProc = unsigned(__stdcall*)(void*);

// Starts `proc(arg)` with the C runtime's thread start: created suspended,
// set to idle priority so the user interface always comes first, then
// resumed. An invalid handle when no thread could be made; `proc` then never
// runs. The procedure must let no exception out.
KernelHandle StartIdleThread(ThreadProc proc, void* arg);
