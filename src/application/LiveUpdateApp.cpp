#include "application/LiveUpdateApp.h"

#include <commctrl.h>
#include <objbase.h>

#include <vector>

#include "application/CommandLine.h"
#include "application/LiveUpdateDlg.h"
#include "application/UnattendedRun.h"
#include "support/InstanceLock.h"
#include "support/RunLog.h"
#include "support/WorkingFolder.h"
#include "update/network/NetworkRoute.h"
#include "update/download/ResumeState.h"
#include "update/record/Policy.h"

namespace
{
std::wstring ProgramVersion()
{
    wchar_t path[MAX_PATH] = {};
    if (!::GetModuleFileNameW(nullptr, path, MAX_PATH))
        return L"?";
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!size || !::GetFileVersionInfoW(path, 0, size, data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
        return L"?";
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionLS));
}

// The version the system really is (GetVersionEx answers what the manifest
// admits to), and the compatibility layer's when there is one.
std::wstring WindowsVersion()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(ntdll ? ::GetProcAddress(ntdll, "RtlGetVersion") : nullptr));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::wstring text = L"?";
    if (getVersion && getVersion(&info) == 0)
        text = std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L"." +
               std::to_wstring(info.dwBuildNumber);
    using WineVersionFn = const char*(CDECL*)();
    auto wineVersion = reinterpret_cast<WineVersionFn>(
        reinterpret_cast<void*>(ntdll ? ::GetProcAddress(ntdll, "wine_get_version") : nullptr));
    if (wineVersion)
    {
        const std::string wine = wineVersion();
        text += L" (Wine " + std::wstring(wine.begin(), wine.end()) + L")";
    }
    return text;
}

void LogStart()
{
    int proxyEnabled = 0;
    std::wstring proxy;
    ReadSystemProxy(proxyEnabled, proxy);
    LogEvent(L"start: QVXLiveUpdate " + ProgramVersion() + L", command line: " +
             CommandLineForLog(::GetCommandLineW()) + L", Windows " + WindowsVersion() +
             L", ANSI code page " + std::to_wstring(::GetACP()) + L", system proxy " +
             (proxyEnabled ? L"on \"" + ProxyForLog(proxy) + L"\"" : L"off"));
    for (const std::wstring& note : TheWorkingFolder().notes)
        LogEvent(L"start: " + note);
    // Read once, here: the run follows what these lines say.
    for (const std::wstring& note : ThePolicy().notes)
        LogEvent(L"start: policy: " + note);
}
} // namespace

BOOL CLiveUpdateApp::InitInstance()
{
    SetFaultSink([](const wchar_t* text) { LogEvent(std::wstring(L"fault: ") + text); });
    const CommandLine options = ParseCommandLine(SplitArguments(::GetCommandLineW()));
    if (options.mode == RunMode::Usage || options.mode == RunMode::Bad)
    {
        m_exitCode = ReportCommandLine(options);
        return FALSE;
    }
    // Nobody is there to answer a box, not even the system's.
    const bool unattended = options.mode != RunMode::Wizard;
    if (unattended)
    {
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        EndUncaughtExceptionsAsInternalFault();
    }

    // The wizard's own name, which launchers look for: one wizard per logon
    // session. An unattended run does not take it: in the local system
    // account's session it is a global name, which any user may create first.
    DWORD mutexError = ERROR_SUCCESS;
    if (!unattended)
    {
        m_hMutex = ::CreateMutexW(nullptr, TRUE, L"QOravel_LiveUpdate");
        mutexError = ::GetLastError();
    }
    // One run of the account at a time works in its folder, whichever front.
    DWORD lockError = ERROR_SUCCESS;
    if (unattended || (m_hMutex && mutexError != ERROR_ALREADY_EXISTS))
        m_lock = TakeInstanceLock(WorkingFolder(), lockError);
    // The running instance owns the log: a second start only adds its line.
    OpenRunLog(WorkingFolder(), m_lock.IsValid());
    if (!unattended && !m_hMutex)
    {
        LogEvent(L"end: the single-instance mutex could not be created, error " +
                 std::to_wstring(mutexError));
        AppMessageBox(L"创建系统实例时发生错误，请重新启动");
        return FALSE;
    }
    if (mutexError == ERROR_ALREADY_EXISTS || lockError == ERROR_SHARING_VIOLATION)
    {
        LogEvent(mutexError == ERROR_ALREADY_EXISTS
                     ? L"end: another wizard is running"
                     : L"end: another run holds the lock " + WorkingFolder() + kInstanceLockName);
        if (unattended)
            m_exitCode = EndUnattended(UnattendedExit::AnotherInstance);
        else
            AppMessageBox(L"程序已经在运行，不能运行多个实例，谢谢！");
        return FALSE;
    }
    if (!m_lock)
    {
        LogEvent(L"start: the single-instance lock could not be taken in \"" + WorkingFolder() +
                 L"\", error " + std::to_wstring(lockError));
        // Without it no unattended run may touch the folder's files.
        if (unattended)
        {
            m_exitCode = EndUnattended(UnattendedExit::InternalFault);
            return FALSE;
        }
    }

    ::CoInitialize(nullptr);
    ::InitCommonControls();
    LogStart();
    // Partial packages that no run has continued for a week are not coming
    // back.
    RemoveStaleDownloads(WorkingFolder());
    if (unattended)
    {
        m_exitCode = RunUnattended(options);
        return FALSE;
    }

    INT_PTR result = 0;
    {
        CLiveUpdateDlg dlg(nullptr);
        m_pMainWnd = &dlg;
        result = dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    LogEvent(result == IDCANCEL ? L"end: the wizard was cancelled" : L"end: the wizard was closed");
    return FALSE;
}

int CLiveUpdateApp::ExitInstance()
{
    // Closed by the process's end, not here: a worker that a confirmed
    // Cancel left behind may still run until then.
    m_lock.Release();
    ::CoUninitialize();
    CWinApp::ExitInstance();
    return m_exitCode;
}
