#include "update/Installer.h"

#include <shellapi.h>

#include "framework/ComPtr.h"
#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"
#include "support/Files.h"
#include "support/RunLog.h"
#include "support/StringHelpers.h"
#include "update/LiveUpdateIni.h"

const wchar_t kInstallerResultName[] = L"QVXLivaUpdate.ini";

namespace
{
// The installer writes at most a short word here.
const DWORD kUserCancelCapacity = 20;

[[noreturn]] void CloseFrameAndExit(HWND hFrame)
{
    LogEvent(L"end: after the installer step");
    // The frame's thread is not waited for: ending the process ends it too.
    ::PostMessageW(hFrame, WM_CLOSE, 0, 0);
    ::ExitProcess(0);
}
} // namespace

std::wstring InstallerResultPath()
{
    // Without a temporary folder the name alone refers to nothing that matters.
    return TemporaryFolder() + kInstallerResultName;
}

bool IsUserCancel(const std::wstring& value)
{
    return ::CompareStringOrdinal(value.c_str(), static_cast<int>(value.size()), L"yes", 3, TRUE) ==
           CSTR_EQUAL;
}

void RunInstallerStep(HWND hFrame, const std::wstring& packagePath, FileHandle package,
                      const std::function<bool()>& confirmClientClosed)
{
    wchar_t recordPath[kIniPathCapacity] = {};
    GetLiveUpdateIniPath(recordPath);

    ::ShowWindow(hFrame, SW_HIDE);
    if (CWinApp* app = GetApp())
        app->BeginWaitCursor();
    else
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));

    if (!confirmClientClosed())
    {
        LogEvent(L"install: given up, the client stays; the package is deleted");
        package.Reset();
        ::DeleteFileW(packagePath.c_str());
        ::DeleteFileW(recordPath);
        CloseFrameAndExit(hFrame);
    }

    const std::wstring resultPath = InstallerResultPath();
    // A result left by an earlier run must not be taken for this one's.
    ::DeleteFileW(resultPath.c_str());
    ::DeleteFileW(recordPath);

    KernelHandle installer;
    {
        // The shell may hand the launch to an extension that needs COM.
        ComApartment apartment;
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = packagePath.c_str();
        info.lpParameters = L"";
        info.nShow = SW_SHOW;
        LogEvent(L"install: running \"" + packagePath + L"\" without arguments");
        if (::ShellExecuteExW(&info))
        {
            installer.Reset(info.hProcess);
        }
        else
        {
            // The shell may have shown its own box, which leaves no error
            // number behind; its code in hInstApp stays.
            const DWORD error = ::GetLastError();
            LogEvent(L"install: the package could not be started, error " + DescribeError(error) +
                     L", shell code " + std::to_wstring(reinterpret_cast<INT_PTR>(info.hInstApp)));
        }
    }
    package.Reset();
    if (installer)
    {
        ::WaitForSingleObject(installer.Get(), INFINITE);
        DWORD exitCode = 0;
        ::GetExitCodeProcess(installer.Get(), &exitCode);
        LogEvent(L"install: the installer ended with exit code " + std::to_wstring(exitCode));
    }
    ::DeleteFileW(packagePath.c_str());

    wchar_t userCancel[kUserCancelCapacity] = {};
    ::GetPrivateProfileStringW(L"setuplog", L"UserCancel", L"", userCancel, kUserCancelCapacity,
                               resultPath.c_str());
    // The installer has told the user itself; the updater ends the same way
    // whether the installation was cancelled or not.
    const bool cancelled = IsUserCancel(TextOfBuffer(userCancel, kUserCancelCapacity));
    LogEvent(cancelled ? L"install: the installer reports that the user cancelled it"
                       : L"install: the installer does not report a cancel");
    CloseFrameAndExit(hFrame);
}
