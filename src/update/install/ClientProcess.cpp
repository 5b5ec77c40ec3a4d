#include "update/install/ClientProcess.h"

#include <tlhelp32.h>

#include "framework/ScopedHandle.h"

const wchar_t kClientExeName[] = L"QOravel.exe";

namespace
{
// PROCESS_ALL_ACCESS as older systems define it: the newer, larger mask is
// refused there. It includes the rights to query the image and to wait.
const DWORD kAllProcessAccess = 0x1F0FFF;

bool RunsClientExe(HANDLE process)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(process, 0, path, &length))
        return false;
    const wchar_t* name = path + length;
    while (name > path && name[-1] != L'\\' && name[-1] != L'/')
        --name;
    return IsClientExeName(name);
}
} // namespace

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

bool TerminateClientProcess(DWORD processId)
{
    if (processId == kNoClientProcess)
        return false;
    KernelHandle process(::OpenProcess(kAllProcessAccess, FALSE, processId));
    if (!process || !RunsClientExe(process.Get()))
        return false;
    if (!::TerminateProcess(process.Get(), 0))
        return false;
    ::WaitForSingleObject(process.Get(), kClientEndWaitMs);
    return true;
}
