#include "harness/Process.h"

#include <tlhelp32.h>

namespace harness
{
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs)
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
        const DWORD slice = static_cast<DWORD>(deadline - now < pollMs ? deadline - now : pollMs);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
    }
}

std::wstring TestProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length < MAX_PATH ? length : 0);
    return program.substr(0, program.find_last_of(L"\\/") + 1);
}

std::wstring StandInPath(const std::wstring& exeName)
{
    const std::wstring relative = TestProgramFolder() + L"..\\standins\\" + exeName;
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : relative;
}

std::wstring WizardExePath()
{
    wchar_t fromEnv[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"QVX_EXE", fromEnv, MAX_PATH))
        return fromEnv;
    return TestProgramFolder() + L"..\\QVXLiveUpdate.exe";
}

bool Process::Start(const std::wstring& exe, const std::wstring& workDir, const std::wstring& args,
                    const std::wstring& outputPath)
{
    Kill();
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const FileHandle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                       nullptr));
    const FileHandle output(outputPath.empty()
                                ? INVALID_HANDLE_VALUE
                                : ::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul.Get();
    if (output)
        si.hStdOutput = si.hStdError = output.Get();
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi))
        return false;
    const KernelHandle thread(pi.hThread);
    m_process.Reset(pi.hProcess);
    m_id = pi.dwProcessId;
    return true;
}

bool Process::IsRunning() const
{
    return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeoutMs) const
{
    return m_process && WaitUntil([this] { return !IsRunning(); }, timeoutMs);
}

DWORD Process::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_process)
        ::GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void Process::Kill()
{
    if (IsRunning())
    {
        ::TerminateProcess(m_process.Get(), 99);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
    m_process.Reset();
    m_id = 0;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name)
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

ScopedEnvironment::~ScopedEnvironment()
{
    ::SetEnvironmentVariableW(m_name.c_str(), m_hadValue ? m_previous.c_str() : nullptr);
}

DWORD FirstInSnapshotOrder(const std::vector<DWORD>& ids)
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry))
        for (DWORD id : ids)
            if (entry.th32ProcessID == id)
                return id;
    return 0;
}
} // namespace harness
