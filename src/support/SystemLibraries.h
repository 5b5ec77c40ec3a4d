#pragma once
// Windows' own libraries come from the system folder only. Run from a
// Downloads folder, a program that let the loader look beside itself first
// would load whatever a web page had put there under a system library's name.

#include <windows.h>

// From now on the loader looks for libraries named without a path (those
// loaded on first use included) in the system folder only, where the
// platform can be told so (Windows 7 with its 2011 update and later); a
// no-op elsewhere.
void SearchLibrariesInSystemFolderOnly();

// Loads the system library `name` from the system folder; null when it
// cannot be loaded. The module stays loaded as LoadLibrary leaves it.
HMODULE LoadSystemLibrary(const wchar_t* name);
