#include "update/ClientProcess.h"

#include <tlhelp32.h>

#include "framework/ScopedHandle.h"

const wchar_t kClientExeName[] = L"QOravel.exe";

bool IsClientExeName(const wchar_t* exeName)
{
    // Ordinal: file names are matched as the file system matches them, not by
    // the rules of the user's language.
    return exeName && ::CompareStringOrdinal(exeName, -1, kClientExeName, -1, TRUE) == CSTR_EQUAL;
}

DWORD FindClientProcess()
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (!snapshot)
        return kNoClientProcess;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!::Process32FirstW(snapshot.Get(), &entry))
        return kNoClientProcess;
    do
    {
        if (IsClientExeName(entry.szExeFile))
            return entry.th32ProcessID;
    } while (::Process32NextW(snapshot.Get(), &entry));
    return kNoClientProcess;
}
