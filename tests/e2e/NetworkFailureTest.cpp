// When the network fails the wizard: a check or a package that stops
// arriving, the cause each failure leaves in the log, and a confirmed Cancel
// that races the end of the download or of the check.
#include "UpgradeFixture.h"

using namespace e2e;

namespace
{
const wchar_t kCheckErrorText[] = L"检测服务器版本时发生错误，请重新启动升级程序，进行再次升级";

// Whether one line of the log has both texts.
bool LogHasLine(const std::string& log, const std::string& first, const std::string& second)
{
    for (size_t start = 0; start < log.size();)
    {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        if (line.find(first) != std::string::npos && line.find(second) != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

class NetworkFailure : public Upgrade
{
};

struct CheckStall
{
    const char* name;
    const char* response;
};

class CheckStalls : public NetworkFailure, public ::testing::WithParamInterface<CheckStall>
{
};
} // namespace

TEST_P(CheckStalls, EndOnTheCheckErrorPathWithinTheStallTime)
{
    SetStallSeconds(2);
    ASSERT_TRUE(m_server.Script(R"({"path": "/gdisp.xml", "responses": [)" +
                                std::string(GetParam().response) + "]}"));
    StartAtCheckVersion();
    // Two seconds without a byte, where the default waits thirty.
    ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg", 12000))
        << ::testing::PrintToString(CurrentPageTag(m_frame));
    EXPECT_EQ(kCheckErrorText, TextOf(Item(CurrentPage(m_frame), kResultText)));
    EXPECT_FALSE(IniExists());
    // The line says that the server went silent.
    const std::string log = RunLog();
    const std::string failed =
        "] check: POST http://127.0.0.1:" + std::to_string(m_server.Port()) + "/gdisp.xml? failed after";
    EXPECT_TRUE(LogHasLine(log, failed, "stalled") || LogHasLine(log, failed, "no byte for 2 s")) << log;
}

INSTANTIATE_TEST_SUITE_P(NetworkFailure, CheckStalls,
                         ::testing::Values(CheckStall{"BeforeTheAnswer",
                                                      R"({"delay_before_headers_ms": 120000})"},
                                           CheckStall{"MidReply", R"({"body_size": 300, "body_fill": "x",
                                                                      "stall_after_bytes": 100})"}),
                         [](const ::testing::TestParamInfo<CheckStall>& info) { return info.param.name; });

// How often and after which waits is the retry schedule's, pinned by the
// unit tests; here a stalled package gives up, keeps its bytes and asks
// every retry for what it lacks.
TEST_F(NetworkFailure, StalledPackageIsTriedUntilTheRetriesAreSpentThenEndsOnTheDownloadError)
{
    SetStallSeconds(1);
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_FIRST_RETRY_MS", L"50");
    ScriptPackage({ServedFile(kPackage, R"("etag": "\"v1\"", "stall_after_bytes": 300000)"),
                   ServedFile(kPackage, R"("etag": "\"v1\"", "stall_after_bytes": 0)")},
                  true);
    RunToDownload(ScriptedPackageUrl());
    ASSERT_NE(nullptr, WaitForMessageBox(m_wizard.Id(), L"QVXLiveUpdate", 60000));
    ExpectDownloadError(true);
    const std::vector<Json> gets = PackageRequests();
    ASSERT_LT(1u, gets.size());
    for (size_t i = 1; i < gets.size(); ++i)
        EXPECT_EQ(300000, RangeStart(gets[i])) << "retry " << i;
    EXPECT_EQ(300000, FileSize(PartialPath()));
    EXPECT_TRUE(LogHasLine(RunLog(), "] download: try 1 failed after 300000 bytes", "no byte for 1 s"))
        << RunLog();
}

namespace
{
struct Cause
{
    const char* name;
    const char* scheme;
    const char* portVariable;
    const char* path;
    const char* text;               // what the log says of it
    const char* response = nullptr; // the answer scripted for the path
};

class FailureCause : public NetworkFailure, public ::testing::WithParamInterface<Cause>
{
};
} // namespace

TEST_P(FailureCause, IsNamedInTheLog)
{
    const Cause& cause = GetParam();
    if (cause.response)
        ScriptPackage({cause.response});
    RunToDownload(std::string(cause.scheme) +
                  "://127.0.0.1:" + std::to_string(ServerPort(cause.portVariable)) + cause.path);
    ExpectDownloadError();
    EXPECT_TRUE(LogHasLine(RunLog(), "] download: ", cause.text)) << RunLog();
}

INSTANTIATE_TEST_SUITE_P(
    NetworkFailure, FailureCause,
    ::testing::Values(Cause{"NotFound", "http", "FAULT_PORT", "/no/such/QoraSetup.exe", "status 404"},
                      Cause{"ExpiredCertificate", "https", "TLS_EXPIRED_PORT", "/files/QoraSetup.exe",
                            "TLS: the server's certificate has expired"},
                      Cause{"CertificateForAnotherHost", "https", "TLS_WRONGHOST_PORT",
                            "/files/QoraSetup.exe", "TLS: the server's certificate"},
                      // A network's login page in the package's place is never written as it.
                      Cause{"LoginPage", "http", "FAULT_PORT", kScriptedPackagePath,
                            "the answer is a web page (Content-Type text/html)",
                            R"({"headers": [["Content-Type", "text/html"]], "body": "<html>Login</html>"})"},
                      Cause{"Refused", "http", "NO_LISTENER_PORT", "/QoraSetup.exe",
                            "12029 (cannot connect to the server"}),
    [](const ::testing::TestParamInfo<Cause>& info) { return info.param.name; });

TEST_F(NetworkFailure, CancelConfirmationOpenWhenThePackageCompletesLetsTheInstallationRun)
{
    const long long size = ServedSize(kPackage);
    ScriptPackage({ServedFile(kPackage, "\"hold_after_bytes\": " + std::to_string(size - 1000) +
                                            R"(, "hold_id": "tail")")});
    HoldInstaller();
    RunToDownload(ScriptedPackageUrl());
    ASSERT_TRUE(WaitUntil([&] { return FileSize(PartialPath()) == size - 1000; }, 15000));
    Click(Item(m_frame, kCancel));
    HWND confirm = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, confirm);
    m_server.Release("tail");
    ASSERT_TRUE(WaitUntil([&] { return InstallerRuns() == 1; }, 30000)) << "the installer did not run";
    // The box is closed for the user; if one is still open, its Yes changes nothing.
    if (::IsWindow(confirm))
    {
        AnswerMessageBox(confirm, IDYES);
        EXPECT_FALSE(m_wizard.WaitForExit(1000)) << "a Yes ended the wizard during the installation";
    }
    EXPECT_TRUE(m_wizard.IsRunning()) << "the wizard no longer waits for the installer";
    ReleaseInstaller();
    ExpectEndedAfterInstalling();
    EXPECT_FALSE(FileExists(TempFolder() + Wide(kPackage))) << "the package outlived the installation";
    EXPECT_FALSE(FileExists(PartialPath()));
    EXPECT_FALSE(IniExists());
}

TEST_F(NetworkFailure, CheckReplyReleasedAroundAConfirmedCancelWritesNoRecord)
{
    for (bool releaseFirst : {true, false})
    {
        SCOPED_TRACE(releaseFirst ? "released before the Yes" : "released after the Yes");
        m_server.Reset();
        OfferVersion(PackageUrl(), R"("hold_after_bytes": 20, "hold_id": "reply")");
        StartAtCheckVersion();
        ASSERT_TRUE(WaitUntil(
            [&]
            {
                const Json log = m_server.Requests();
                return log.size() == 1 && log[0]["holding"].string == L"reply";
            }));
        Click(Item(m_frame, kCancel));
        HWND confirm = WaitForMessageBox(m_wizard.Id(), L"提示");
        ASSERT_NE(nullptr, confirm);
        if (releaseFirst)
            m_server.Release("reply");
        AnswerMessageBox(confirm, IDYES);
        if (!releaseFirst)
            m_server.Release("reply");
        ExpectEndsPromptly();
        EXPECT_FALSE(FileExists(IniPath() + L".new"));
    }
}

TEST_F(NetworkFailure, ProxyThatIsNotThereIsGoneAroundForTheCheckAndEachTry)
{
    const std::string dead = "127.0.0.1:" + std::to_string(ServerPort("NO_LISTENER_PORT"));
    SystemProxy proxy(1, Wide(dead));
    // The package from another server than the check's: Wine pools
    // connections by server, proxy or not, and would reuse the check's.
    RunToDownload(PackageUrl("http", ServerPort("NGINX_HTTP_PORT")));
    ExpectEndedAfterInstalling();
    const std::string log = RunLog();
    EXPECT_TRUE(LogHasLine(log, "] check: the proxy " + dead + " cannot be reached: 12029", "going direct"))
        << log;
    EXPECT_TRUE(
        LogHasLine(log, "] download: the proxy " + dead + " cannot be reached", "this try goes direct"))
        << log;
}

TEST_F(NetworkFailure, CertificateOutOfDateOnAMachineYearsOffTheServersClockNamesTheClock)
{
    RunToDownload(PackageUrl("https", ServerPort("TLS_EXPIRED_PORT")),
                  R"("headers": [["Date", "Sun, 07 Dec 2036 10:00:00 GMT"]])");
    HWND box = WaitForMessageBox(m_wizard.Id(), L"QVXLiveUpdate", 30000);
    ASSERT_NE(nullptr, box);
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(0u, text.find(L"您的电脑时间不正确（本机：")) << ::testing::PrintToString(text);
    // The box's words are the unit tests'; the server's date is this run's.
    EXPECT_NE(std::wstring::npos, text.find(L"，服务器：2036-12-0")) << ::testing::PrintToString(text);
    AnswerMessageBox(box, IDOK);
    ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg"));
    EXPECT_EQ(L"下载更新包时发生错误，请重新启动升级程序，进行再次升级",
              TextOf(Item(CurrentPage(m_frame), kResultText)));
    EXPECT_EQ(std::string::npos, RunLog().find("download: try 2"))
        << "no address or retry helps a wrong clock";
}

namespace
{
class Mirrors : public NetworkFailure, public ::testing::WithParamInterface<bool>
{
};
} // namespace

// A stale mirror, serving a package of another size, costs a try like a dead
// host: the bytes held stay.
TEST_P(Mirrors, ADeadAddressACutMirrorAndAStaleOneCostATryEach)
{
    const bool sha256 = GetParam();
    const long long size = ServedSize(kPackage);
    const std::string base = "http://127.0.0.1:" + std::to_string(m_server.Port());
    ASSERT_TRUE(m_server.Script(
        R"([{"path": "/m1/QoraSetup.exe", "responses": [)" +
        ServedFile(kPackage, R"("etag": "\"m1\"", "close_after_bytes": )" + std::to_string(size / 2)) +
        R"(]}, {"path": "/old/QoraSetup.exe", "responses": [{"body_size": )" + std::to_string(size + 1000) +
        R"(}]}, {"path": "/m2/QoraSetup.exe", "responses": [)" +
        ServedFile(kPackage, R"("etag": "\"m2\"", "hold_after_bytes": 1000, "hold_id": "m2")") + "]}]"));
    RunToDownload("http://127.0.0.1:" + std::to_string(ServerPort("NO_LISTENER_PORT")) + "/QoraSetup.exe", "",
                  "<mirror>" + base + "/m1/QoraSetup.exe</mirror><mirror>" + base +
                      "/old/QoraSetup.exe</mirror><mirror>" + base + "/m2/QoraSetup.exe</mirror><size>" +
                      std::to_string(size) + "</size>" +
                      (sha256 ? "<sha256>" + m_server.Sha256Of(kPackage) + "</sha256>" : ""));
    ASSERT_TRUE(WaitUntil([&] { return PackageRequests("/m2/QoraSetup.exe").size() == 1; }, 30000));
    const std::wstring mirror = L"从镜像 127.0.0.1:" + std::to_wstring(m_server.Port()) + L" 下载\n";
    EXPECT_TRUE(WaitUntil([&] { return TextOf(Item(DownloadPage(), kDownloadStatus)).find(mirror) == 0; }))
        << ::testing::PrintToString(TextOf(Item(DownloadPage(), kDownloadStatus)));
    m_server.Release("m2");
    ExpectEndedAfterInstalling();
    EXPECT_EQ(1u, PackageRequests("/m1/QoraSetup.exe").size());
    EXPECT_TRUE(LogHasLine(RunLog(), "] download: try 3 failed: the answer is not the record's package",
                           "the package at hand has " + std::to_string(size + 1000)))
        << RunLog();
    const std::vector<Json> last = PackageRequests("/m2/QoraSetup.exe");
    ASSERT_EQ(1u, last.size());
    EXPECT_EQ(sha256 ? size / 2 : -1, RangeStart(last[0])) << "the bytes held carry over only with a SHA-256";
    EXPECT_EQ(L"", HeaderValue(last[0], "If-Range")) << "another address's validator";
}

INSTANTIATE_TEST_SUITE_P(NetworkFailure, Mirrors, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return info.param ? "WithSha256" : "WithoutSha256"; });
