#pragma once
// Helpers the unit tests share for starting the stand-in programs, waiting
// with deadlines and cleaning up files, keys and environment they touch.

#include <windows.h>
#include <tlhelp32.h>
#include <functional>
#include <string>
#include <vector>

#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/CodePages.h"

namespace standins
{
inline std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// A stand-in program of the build: ..\standins\<name> beside the test exe.
inline std::wstring StandInPath(const std::wstring& exeName)
{
    const std::wstring relative = ExeFolder() + L"..\\standins\\" + exeName;
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : relative;
}

inline bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The lines of a UTF-8 text file written with CR LF endings.
inline std::vector<std::wstring> ReadLines(const std::wstring& path)
{
    const std::wstring text =
        DecodeText(ReadFileHead(path.c_str(), 1 << 20).value_or(std::string()), CP_UTF8);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// Processes the calling thread's messages until `done` holds or the time is
// up: windows of this thread keep answering (also to other processes) while
// the test waits.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;)
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return false;
        const DWORD slice = static_cast<DWORD>(deadline - now < 20 ? deadline - now : 20);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
    }
}

inline bool IsSignalled(HANDLE handle)
{
    return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

// A started program that is terminated when the object goes, unless it has
// ended by then.
class ChildProcess
{
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Kill(); }

    // Output of the program goes nowhere when `quiet`.
    bool Start(const std::wstring& exePath, const std::wstring& arguments = std::wstring(),
               bool quiet = false)
    {
        Kill();
        std::wstring commandLine = L"\"" + exePath + L"\"";
        if (!arguments.empty())
            commandLine += L" " + arguments;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        FileHandle nul;
        if (quiet)
        {
            SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
            nul.Reset(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &sa, OPEN_EXISTING, 0, nullptr));
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdInput = si.hStdOutput = si.hStdError = nul.Get();
        }
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, quiet ? TRUE : FALSE, 0,
                              nullptr, nullptr, &si, &pi))
            return false;
        ::CloseHandle(pi.hThread);
        m_process.Reset(pi.hProcess);
        m_id = pi.dwProcessId;
        return true;
    }

    HANDLE Handle() const { return m_process.Get(); }
    DWORD Id() const { return m_id; }
    bool IsRunning() const { return m_process && !IsSignalled(m_process.Get()); }

    // Waits for the end while this thread's windows keep answering.
    bool WaitForExit(DWORD timeoutMs = 15000) const
    {
        return m_process && PumpUntil([this] { return IsSignalled(m_process.Get()); }, timeoutMs);
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        if (m_process)
            ::GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }
    void Kill()
    {
        if (IsRunning())
        {
            ::TerminateProcess(m_process.Get(), 1);
            ::WaitForSingleObject(m_process.Get(), 10000);
        }
        m_process.Reset();
        m_id = 0;
    }

  private:
    KernelHandle m_process;
    DWORD m_id = 0;
};

// A folder of its own under the temporary folder, emptied and removed at the
// end, with the folders inside.
class TempDir
{
  public:
    explicit TempDir(const std::wstring& prefix)
    {
        m_path = TemporaryFolder() + prefix + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(::GetTickCount64()) + L"\\";
        ::CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempDir() { Remove(m_path); }
    static void Remove(const std::wstring& folder)
    {
        {
            WIN32_FIND_DATAW data;
            FindHandle find(::FindFirstFileW((folder + L"*").c_str(), &data));
            for (bool more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &data))
            {
                const std::wstring name = data.cFileName;
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileW((folder + name).c_str());
                else if (name != L"." && name != L"..")
                    Remove(folder + name + L"\\");
            }
        }
        ::RemoveDirectoryW(folder.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With its trailing backslash.
    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
};

// Sets an environment variable of this process (and so of the programs it
// starts from now on) and restores the earlier state at the end.
class ScopedEnvironment
{
  public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name)
    {
        const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
        if (needed > 0)
        {
            std::vector<wchar_t> buffer(needed, L'\0');
            ::GetEnvironmentVariableW(name, buffer.data(), needed);
            m_previous.assign(buffer.data());
            m_hadValue = true;
        }
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment()
    {
        ::SetEnvironmentVariableW(m_name.c_str(), m_hadValue ? m_previous.c_str() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::wstring m_name;
    std::wstring m_previous;
    bool m_hadValue = false;
};

// The first of `ids` in the order the process snapshot lists them, or 0.
inline DWORD FirstInSnapshotOrder(const std::vector<DWORD>& ids)
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !::Process32FirstW(snapshot.Get(), &entry))
        return 0;
    do
    {
        for (DWORD id : ids)
            if (entry.th32ProcessID == id)
                return id;
    } while (::Process32NextW(snapshot.Get(), &entry));
    return 0;
}
} // namespace standins
