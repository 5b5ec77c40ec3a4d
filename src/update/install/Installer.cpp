#include "update/install/Installer.h"

#include <shellapi.h>

#include <vector>

#include "framework/ComPtr.h"
#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/RunLog.h"
#include "support/WideText.h"
#include "support/WorkingFolder.h"
#include "update/record/LiveUpdateIni.h"

const wchar_t kInstallerResultName[] = L"QVXLivaUpdate.ini";

namespace
{
// The installer writes at most a short word here.
const DWORD kUserCancelCapacity = 20;

// The installer inherits this process's environment: while it starts, TEMP
// and TMP name its folder; afterwards they are as they were.
class InstallerTemp
{
  public:
    explicit InstallerTemp(const std::wstring& folder)
    {
        if (folder.empty() || folder == TemporaryFolder())
            return;
        for (size_t i = 0; i < 2; ++i)
        {
            const DWORD needed = ::GetEnvironmentVariableW(kNames[i], nullptr, 0);
            m_had[i] = needed > 0;
            std::vector<wchar_t> value(needed + 1, L'\0');
            ::GetEnvironmentVariableW(kNames[i], value.data(), needed + 1);
            m_values[i] = value.data();
            m_changed[i] = ::SetEnvironmentVariableW(kNames[i], folder.substr(0, folder.size() - 1).c_str());
        }
    }
    ~InstallerTemp()
    {
        for (size_t i = 0; i < 2; ++i)
            if (m_changed[i])
                ::SetEnvironmentVariableW(kNames[i], m_had[i] ? m_values[i].c_str() : nullptr);
    }
    InstallerTemp(const InstallerTemp&) = delete;
    InstallerTemp& operator=(const InstallerTemp&) = delete;

  private:
    static constexpr const wchar_t* kNames[2] = {L"TEMP", L"TMP"};
    bool m_had[2] = {}, m_changed[2] = {};
    std::wstring m_values[2];
};

// Starts the package; 0, with `installer` holding its process, or the
// shell's error. A package another program holds (a scanner reading the new
// program) is tried again for a while.
DWORD StartPackage(const std::wstring& packagePath, const std::wstring& parameters, KernelHandle& installer)
{
    return RetryWhileHeld(
        [&]() -> DWORD
        {
            SHELLEXECUTEINFOW info{};
            info.cbSize = sizeof info;
            // No box of the shell's own: the caller says what went wrong, or,
            // unattended, nobody is there to answer one.
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
            info.lpFile = packagePath.c_str();
            info.lpParameters = parameters.c_str();
            info.nShow = SW_SHOW;
            if (::ShellExecuteExW(&info))
            {
                installer.Reset(info.hProcess);
                return 0;
            }
            const DWORD error = ::GetLastError();
            LogEvent(L"install: the package could not be started, error " + DescribeError(error) +
                     L", shell code " + std::to_wstring(reinterpret_cast<INT_PTR>(info.hInstApp)));
            return error;
        },
        [](int attempt, DWORD, DWORD waitMs)
        {
            LogEvent(L"install: another program holds the package; attempt " + std::to_wstring(attempt + 1) +
                     L" in " + std::to_wstring(waitMs) + L" ms");
            ::Sleep(waitMs);
            return true;
        });
}
} // namespace

std::wstring InstallerTempFolder()
{
    const std::wstring folder = WorkingFolder();
    return folder.empty() ? TemporaryFolder() : folder;
}

std::wstring InstallerResultPath()
{
    // Without a temporary folder the name alone refers to nothing that matters.
    return InstallerTempFolder() + kInstallerResultName;
}

bool IsUserCancel(const std::wstring& value)
{
    return ::CompareStringOrdinal(value.c_str(), static_cast<int>(value.size()), L"yes", 3, TRUE) ==
           CSTR_EQUAL;
}

InstallReport RunInstallerStep(const std::wstring& packagePath, FileHandle package,
                               const std::function<bool()>& confirmClientClosed,
                               const std::wstring& parameters, DWORD waitMs)
{
    const std::wstring recordPath = LiveUpdateIniPath();
    InstallReport report;
    if (!confirmClientClosed())
    {
        LogEvent(L"install: given up, the client stays; the package is deleted");
        package.Reset();
        ::DeleteFileW(packagePath.c_str());
        ::DeleteFileW(recordPath.c_str());
        report.result = InstallReport::GivenUp;
        return report;
    }

    const std::wstring resultPath = InstallerResultPath();
    // A result left by an earlier run must not be taken for this one's.
    ::DeleteFileW(resultPath.c_str());
    ::DeleteFileW(recordPath.c_str());

    KernelHandle installer;
    {
        // The shell may hand the launch to an extension that needs COM.
        ComApartment apartment;
        LogEvent(L"install: running \"" + packagePath + L"\" " +
                 (parameters.empty()
                      ? std::wstring(L"without arguments")
                      : L"with arguments of " + std::to_wstring(parameters.size()) + L" characters"));
        InstallerTemp temp(InstallerTempFolder());
        report.startError = StartPackage(packagePath, parameters, installer);
    }
    package.Reset();
    if (installer && ::WaitForSingleObject(installer.Get(), waitMs) == WAIT_TIMEOUT)
    {
        LogEvent(L"install: the installer still runs as the wait ends; it is left running");
        report.result = InstallReport::StillRunning;
        return report;
    }
    if (installer)
    {
        ::GetExitCodeProcess(installer.Get(), &report.exitCode);
        report.result = InstallReport::Installed;
        LogEvent(L"install: the installer ended with exit code " + std::to_wstring(report.exitCode));
    }
    ::DeleteFileW(packagePath.c_str());

    wchar_t userCancel[kUserCancelCapacity] = {};
    ::GetPrivateProfileStringW(L"setuplog", L"UserCancel", L"", userCancel, kUserCancelCapacity,
                               resultPath.c_str());
    report.userCancelled = IsUserCancel(TextOfBuffer(userCancel, kUserCancelCapacity));
    LogEvent(report.userCancelled ? L"install: the installer reports that the user cancelled it"
                                  : L"install: the installer does not report a cancel");
    return report;
}
