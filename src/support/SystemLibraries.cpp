#include "support/SystemLibraries.h"

#include <string>

void SearchLibrariesInSystemFolderOnly()
{
    // Looked up, not imported: Windows 7 without its update has no such
    // function, and an import would keep the program from starting there.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (proc)
        reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(proc))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    // Where the flag is unknown (the call fails with a bad parameter), the
    // full path says the same.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return ::LoadLibraryW((std::wstring(folder) + L"\\" + name).c_str());
}
