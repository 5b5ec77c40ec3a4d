// The install step as the Download page runs it: the package run and
// waited for with the frame hidden, the close-client question, and what is
// cleaned up.
#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>

#include "framework/Wnd.h"
#include "harness/Window.h"
#include "resource.h"
#include "unit/CloseClient.h"
#include "update/install/ClientProcess.h"
#include "pages/DownloadDlg.h"
#include "pages/NoticeDlg.h"
#include "update/install/Installer.h"
#include "update/record/LiveUpdateIni.h"

using closeclient::StartClient;
using harness::FileExists;
using harness::Lines;
using harness::Process;
using harness::ReadBytes;
using harness::ScopedEnvironment;
using harness::StandInPath;
using harness::TempDir;
using harness::TextOf;
using harness::WaitUntil;

namespace
{
const wchar_t kFrameVar[] = L"QVX_TEST_INSTALLER_FRAME";
const wchar_t kPackageVar[] = L"QVX_TEST_INSTALLER_PACKAGE";
const wchar_t kChildArguments[] =
    L"--gtest_also_run_disabled_tests --gtest_filter=DownloadDlgChild.DISABLED_RunsTheStep";

std::wstring Environment(const wchar_t* name)
{
    wchar_t buffer[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    return length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring ReadUserCancel(const std::wstring& path)
{
    wchar_t value[64] = {};
    ::GetPrivateProfileStringW(L"setuplog", L"UserCancel", L"<missing>", value, 64, path.c_str());
    return value;
}

std::atomic<int> g_frameCloseRequests{0};

// Stands in for the wizard frame: it only counts the close requests it gets.
LRESULT CALLBACK FrameProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_CLOSE)
    {
        ++g_frameCloseRequests;
        return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// The installer step run in a process of its own (it ends its process), in
// front of a frame window of this process, with a package made from the
// stand-in installer.
class DownloadDlg : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(kNoClientProcess, FindClientProcess()) << "a client from elsewhere is running";
        WNDCLASSW wc{};
        wc.lpfnWndProc = FrameProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvxTestFrame";
        ::RegisterClassW(&wc);
        m_hFrame = ::CreateWindowExW(0, L"QvxTestFrame", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                     300, 200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, m_hFrame);
        g_frameCloseRequests = 0;

        m_package = m_dir.Path() + L"QoraSetup_3.0.exe";
        ASSERT_TRUE(::CopyFileW(StandInPath(L"fake_installer.exe").c_str(), m_package.c_str(), FALSE));
        m_marker = m_dir.Path() + L"marker.txt";

        m_record = LiveUpdateIniPath();
        ASSERT_FALSE(m_record.empty());
        ::CreateDirectoryW(m_record.substr(0, m_record.find_last_of(L'\\')).c_str(), nullptr);
        ASSERT_TRUE(::WritePrivateProfileStringW(L"Update", L"newversion", L"3.0", m_record.c_str()));
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_record.c_str());
        ASSERT_TRUE(FileExists(m_record));

        m_result = InstallerResultPath();
        ::DeleteFileW(m_result.c_str());
    }

    void TearDown() override
    {
        m_step.Kill();
        ::DeleteFileW(m_record.c_str());
        ::DeleteFileW(m_result.c_str());
        if (m_hFrame)
            ::DestroyWindow(m_hFrame);
    }

    void LeaveStaleResult() const
    {
        ::WritePrivateProfileStringW(L"setuplog", L"UserCancel", L"yes", m_result.c_str());
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_result.c_str());
    }

    // Starts the step, whose installer notes its runs in the marker file.
    bool StartStep()
    {
        ScopedEnvironment frame(kFrameVar, std::to_wstring(reinterpret_cast<UINT_PTR>(m_hFrame)));
        ScopedEnvironment package(kPackageVar, m_package);
        ScopedEnvironment marker(L"QVX_FAKE_INSTALLER_MARKER", m_marker);
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        return m_step.Start(self, L"", kChildArguments);
    }

    // Ends the step's run: exit code 0, and its close request has arrived.
    void ExpectEndedCleanly() const
    {
        ASSERT_TRUE(m_step.WaitForExit(30000));
        EXPECT_EQ(0u, m_step.ExitCode());
        EXPECT_TRUE(WaitUntil([] { return g_frameCloseRequests > 0; }, 5000));
        WaitUntil([] { return false; }, 50);
        EXPECT_EQ(1, g_frameCloseRequests.load());
        EXPECT_FALSE(::IsWindowVisible(m_hFrame));
    }

    // A dialog box the step shows, with that caption when one is given.
    HWND WaitForDialog(const wchar_t* caption = nullptr) const
    {
        HWND shown = nullptr;
        WaitUntil(
            [&]
            {
                const std::vector<HWND> dialogs = harness::TopWindows(m_step.Id(), L"#32770", caption);
                shown = dialogs.empty() ? nullptr : dialogs.front();
                return shown || !m_step.IsRunning();
            });
        return shown;
    }

    TempDir m_dir{L"qvx-installer-"};
    Process m_step;
    HWND m_hFrame = nullptr;
    std::wstring m_package;
    std::wstring m_marker;
    std::wstring m_record;
    std::wstring m_result;
};
} // namespace

// Not a test of its own: the body of the step's process, which the tests
// below start with the frame and the package named in the environment.
TEST(DownloadDlgChild, DISABLED_RunsTheStep)
{
    const std::wstring frame = Environment(kFrameVar);
    const std::wstring package = Environment(kPackageVar);
    if (frame.empty() || package.empty())
        GTEST_SKIP() << "started by the installer step tests only";
    // Held as the download hands it over: the installer must start all the
    // same.
    FileHandle held(
        ::CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    CDownloadDlg::RunInstaller(
        reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoull(frame.c_str(), nullptr, 10))), package,
        std::move(held));
}

TEST_F(DownloadDlg, RunsThePackageWithoutArgumentsAndCleansUp)
{
    LeaveStaleResult();
    ScopedEnvironment userCancel(L"QVX_FAKE_INSTALLER_USERCANCEL", L"YES");
    ASSERT_TRUE(StartStep());
    ExpectEndedCleanly();

    const std::vector<std::string> runs = Lines(ReadBytes(m_marker));
    ASSERT_EQ(1u, runs.size());
    // The stale result was gone before the package started.
    EXPECT_EQ(0u, runs[0].find("started stale-result=0 cmdline="));
    // No arguments: the command line is the program alone.
    std::wstring commandLine = harness::Wide(runs[0].substr(runs[0].find("cmdline=") + 8));
    while (!commandLine.empty() && (commandLine.back() == L' ' || commandLine.back() == L'"'))
        commandLine.pop_back();
    if (!commandLine.empty() && commandLine.front() == L'"')
        commandLine.erase(0, 1);
    EXPECT_EQ(0, _wcsicmp(m_package.c_str(), commandLine.c_str())) << commandLine;

    EXPECT_FALSE(FileExists(m_package));
    EXPECT_FALSE(FileExists(m_record));
    // The installer's own result stays.
    EXPECT_EQ(L"YES", ReadUserCancel(m_result));
}

TEST_F(DownloadDlg, WaitsForALongRunningInstallerWithTheFrameHidden)
{
    LeaveStaleResult();
    const std::wstring go = m_dir.Path() + L"go";
    ScopedEnvironment wait(L"QVX_FAKE_INSTALLER_WAIT_FILE", go);
    ASSERT_TRUE(StartStep());

    ASSERT_TRUE(WaitUntil([&] { return Lines(ReadBytes(m_marker)).size() == 1; }));
    EXPECT_FALSE(::IsWindowVisible(m_hFrame));
    EXPECT_FALSE(FileExists(m_record));
    EXPECT_FALSE(FileExists(m_result));
    EXPECT_TRUE(FileExists(m_package));
    // However long the installer takes, the step only waits.
    EXPECT_FALSE(m_step.WaitForExit(1500));
    EXPECT_EQ(0, g_frameCloseRequests.load());
    EXPECT_TRUE(FileExists(m_package));

    harness::WriteBytes(go, "");
    ExpectEndedCleanly();
    EXPECT_FALSE(FileExists(m_package));
    EXPECT_EQ(L"no", ReadUserCancel(m_result));
}

TEST_F(DownloadDlg, CancelInTheNoticeDialogRemovesPackageAndRecordAndRunsNothing)
{
    LeaveStaleResult();
    Process client;
    ASSERT_TRUE(StartClient(client));
    ASSERT_TRUE(StartStep());

    HWND hNotice = WaitForDialog(closeclient::kCaption);
    ASSERT_NE(nullptr, hNotice);
    EXPECT_FALSE(::IsWindowVisible(m_hFrame));
    EXPECT_EQ(closeclient::kQuestion, TextOf(::GetDlgItem(hNotice, IDC_NOTICE_TEXT)));
    // No owner: the dialog stands on its own while the frame is hidden.
    EXPECT_EQ(nullptr, ::GetWindow(hNotice, GW_OWNER));

    ::PostMessageW(hNotice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hNotice, IDCANCEL)));
    ExpectEndedCleanly();
    EXPECT_FALSE(FileExists(m_package));
    EXPECT_FALSE(FileExists(m_record));
    EXPECT_FALSE(FileExists(m_marker));
    EXPECT_TRUE(client.IsRunning());
    // Only package and record go when the user gives up.
    EXPECT_EQ(L"yes", ReadUserCancel(m_result));
}

TEST_F(DownloadDlg, ForceCloseTerminatesTheClientAndThenRunsTheInstaller)
{
    Process client;
    ASSERT_TRUE(StartClient(client));
    ASSERT_TRUE(StartStep());

    HWND hNotice = WaitForDialog(closeclient::kCaption);
    ASSERT_NE(nullptr, hNotice);
    ::PostMessageW(hNotice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hNotice, IDOK)));
    ASSERT_TRUE(client.WaitForExit());
    EXPECT_EQ(0u, client.ExitCode());
    ExpectEndedCleanly();
    EXPECT_EQ(1u, Lines(ReadBytes(m_marker)).size());
    EXPECT_FALSE(FileExists(m_package));
    EXPECT_FALSE(FileExists(m_record));
}

TEST_F(DownloadDlg, AMissingPackageStillEndsTheSameWay)
{
    LeaveStaleResult();
    ASSERT_TRUE(::DeleteFileW(m_package.c_str()));
    ASSERT_TRUE(StartStep());
    // The shell reports the failed launch in a box of its own (the launch
    // asks for no silence); the step goes on once it is answered.
    HWND hBox = WaitForDialog();
    ASSERT_NE(nullptr, hBox);
    EXPECT_NE(closeclient::kCaption, TextOf(hBox));
    // Record and stale result were deleted before the launch.
    EXPECT_FALSE(FileExists(m_record));
    EXPECT_FALSE(FileExists(m_result));
    EXPECT_TRUE(m_step.IsRunning());
    ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    ExpectEndedCleanly();
    EXPECT_FALSE(FileExists(m_result));
    EXPECT_FALSE(FileExists(m_marker));
}
