// The version check against real servers on loopback: what the wizard sends,
// and where every kind of answer leads.
#include "Fixture.h"

using namespace e2e;

namespace
{
const int kNext = 1000, kCancel = 1001, kResultText = 1008, kResultHeading = 1022, kCheckProgress = 1015;
const int kVersionLine = 1016, kDescription = 1017;
const wchar_t kCheckErrorText[] = L"检测服务器版本时发生错误，请重新启动升级程序，进行再次升级";
const wchar_t kAlreadyLatest[] = L"您现在已经是客户端最新版本，无需在线更新！";
const wchar_t kLoginPageText[] = L"当前网络需要先登录认证（例如校园网登录页面），请登录后重新启动升级程序。";

std::string RunLogText()
{
    return ReadBytes(TempFolder() + L"QVXLiveUpdate.log");
}

std::string ReplyScript(const std::string& response)
{
    return R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [)" + response + "]}";
}

std::string XmlReply(const std::string& body)
{
    return ReplyScript(R"({"headers": [["Content-Type", "text/xml"]], "body": )" + JsonString(body) + "}");
}

std::string NewVersionBody(const std::string& name, const std::string& desc)
{
    return "<response status-code=\"1\"><newversionname>" + name +
           "</newversionname><newversion>3.0</newversion><downloadurl>http://127.0.0.1:18099/pkg.exe</"
           "downloadurl>"
           "<desc>" +
           desc + "</desc></response>";
}

class VersionCheck : public WizardTest
{
  protected:
    void ExpectCheckError(DWORD timeoutMs = 15000, const wchar_t* text = kCheckErrorText)
    {
        ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg", timeoutMs))
            << "shown: " << ::testing::PrintToString(CurrentPageTag(m_frame));
        HWND page = CurrentPage(m_frame);
        EXPECT_EQ(L"升级失败", TextOf(Item(page, kResultHeading)));
        EXPECT_EQ(text, TextOf(Item(page, kResultText)));
        EXPECT_EQ(0, ProgressOf(Item(FindPageWithItem(m_frame, kCheckProgress), kCheckProgress)));
        EXPECT_FALSE(IniExists()) << "a failed check must leave no record";
    }
    void ExpectNewVersionPage()
    {
        ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"))
            << "shown: " << ::testing::PrintToString(CurrentPageTag(m_frame));
        EXPECT_EQ(10000, ProgressOf(Item(FindPageWithItem(m_frame, kCheckProgress), kCheckProgress)));
        EXPECT_TRUE(IsEnabled(Item(m_frame, kNext)));
    }
    void ExpectAlreadyLatest()
    {
        ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg"));
        HWND page = CurrentPage(m_frame);
        EXPECT_EQ(L"升级完成", TextOf(Item(page, kResultHeading)));
        EXPECT_EQ(kAlreadyLatest, TextOf(Item(page, kResultText)));
    }
};
} // namespace

TEST_F(VersionCheck, OfferedVersionIsRecordedInUtf8AndShown)
{
    SetClientRecord(
        {{L"DisplayName", L"Qora企业版"}, {L"DisplayVersion", L"2.1.0"}, {L"MainVersion", L"2.1"}});
    const std::wstring desc = L"第一行 Ελληνικά\n第二行 😀";
    // Labelled HTML, as many servers label everything they send.
    ASSERT_TRUE(m_server.Script(
        ReplyScript(R"({"headers": [["Content-Type", "text/html; charset=utf-8"]], "body": )" +
                    JsonString(NewVersionBody(Utf8(L"Qora企业版 ✓"), Utf8(desc))) + "}")));
    StartWizard();
    ASSERT_TRUE(WaitForPage(m_frame, L"CWelcomeDlg"));
    // While the Welcome page is read the check's pages are made, hidden, and
    // its connection opened with nothing sent on it; one the server closes
    // meanwhile, as servers close idle ones, is replaced. The offer shown is
    // the one checked after Next.
    ASSERT_TRUE(WaitUntil([&] { return FindPageWithItem(m_frame, kVersionLine) != nullptr; }));
    ASSERT_TRUE(WaitUntil([&] { return m_server.DropIdleConnections() > 0; }));
    EXPECT_EQ(0u, m_server.Requests().size());
    Click(Item(m_frame, kNext));
    ExpectNewVersionPage();

    HWND page = CurrentPage(m_frame);
    EXPECT_EQ(L"最新版本:Qora校园版 ✓ 3.0", TextOf(Item(page, kVersionLine)));
    EXPECT_EQ(L"第一行 Ελληνικά\r\n第二行 😀\r\n", TextOf(Item(page, kDescription)));

    const std::string bytes = ReadBytes(IniPath());
    ASSERT_EQ(4096u, bytes.size());
    const std::string expected = Utf8(L"[Update]\r\nnewversionname=Qora企业版 ✓\r\nnewversion=3.0\r\n"
                                      L"downloadurl=http://127.0.0.1:18099/pkg.exe\r\n"
                                      L"desc=第一行 Ελληνικά\r\n第二行 😀\r\n");
    EXPECT_EQ(expected, bytes.substr(0, expected.size()));
    EXPECT_EQ(std::string(4096 - expected.size(), '\0'), bytes.substr(expected.size()));

    // What went out: one POST of "/gdisp.xml?" with the three headers and no body.
    const Json log = m_server.Requests();
    ASSERT_EQ(1u, log.size());
    const Json& request = log[0];
    EXPECT_EQ(L"POST", request["method"].string);
    EXPECT_EQ(L"/gdisp.xml?", request["path"].string);
    EXPECT_EQ(0, request["body_length"].number);
    const Json* host = FindHeader(request, "Host");
    ASSERT_NE(nullptr, host);
    EXPECT_EQ(0u, host->string.find(L"127.0.0.1")) << "Host: " << ::testing::PrintToString(host->string);
    const Json* type = FindHeader(request, "Content-Type");
    ASSERT_NE(nullptr, type);
    EXPECT_EQ(L"application/x-www-form-urlencoded", type->string);
    const Json* version = FindHeader(request, "Version");
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(L"2.1.0", version->string);
    const Json* agent = FindHeader(request, "User-Agent");
    ASSERT_NE(nullptr, agent);
    EXPECT_EQ(L"QVXLiveUpdate", agent->string);
    EXPECT_LT(request["head_raw"].string.find(L"Content-Type:"),
              request["head_raw"].string.find(L"Version:"));
}

TEST_F(VersionCheck, CurrentClientEndsOnAlreadyLatestWithoutRecordAndSendsAnEmptyVersion)
{
    ASSERT_TRUE(m_server.Script(XmlReply("<r status-code=\"0\"><newversion>9</newversion></r>")));
    StartAtCheckVersion();
    ExpectAlreadyLatest();
    EXPECT_FALSE(IniExists());
    EXPECT_EQ(10000, ProgressOf(Item(FindPageWithItem(m_frame, kCheckProgress), kCheckProgress)));
    const Json log = m_server.Requests();
    ASSERT_EQ(1u, log.size());
    const Json* version = FindHeader(log[0], "Version");
    ASSERT_NE(nullptr, version) << "the header goes out even without an installed version";
    EXPECT_EQ(L"", version->string);
}

TEST_F(VersionCheck, RepliesAreReadByTheirDocumentOnly)
{
    struct Case
    {
        const char* body;
        bool offered;
        const wchar_t* line;
    } cases[] = {
        // A reply with its own declaration does not parse: no new version.
        {"<?xml version=\"1.0\"?><r status-code=\"1\"><newversion>4</newversion></r>", false, nullptr},
        {"<R STATUS-CODE=\"1\"/>", false, nullptr},
        {"not xml at all", false, nullptr},
        {"<anything status-code=\" 1x\"><NEWVERSIONNAME>Big</NEWVERSIONNAME><NewVersion>4.0</NewVersion>"
         "<newversion>5.0</newversion></anything>",
         true, L"最新版本:Big 4.0"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        ASSERT_TRUE(m_server.Script(XmlReply(c.body)));
        StartAtCheckVersion();
        if (c.offered)
        {
            ExpectNewVersionPage();
            EXPECT_EQ(c.line, TextOf(Item(CurrentPage(m_frame), kVersionLine)));
        }
        else
        {
            ExpectAlreadyLatest();
        }
        m_wizard.Kill();
        RemoveIni();
    }
}

TEST_F(VersionCheck, BodyEndsAtItsFirstZeroByte)
{
    // "<r status-code="1"><newversion>7</newversion></r>" NUL "<tail/>"
    ASSERT_TRUE(m_server.Script(ReplyScript(
        R"({"body_b64": "PHIgc3RhdHVzLWNvZGU9IjEiPjxuZXd2ZXJzaW9uPjc8L25ld3ZlcnNpb24+PC9yPgA8dGFpbC8+"})")));
    StartAtCheckVersion();
    ExpectNewVersionPage();
    EXPECT_EQ(L"最新版本:Qora校园版 7", TextOf(Item(CurrentPage(m_frame), kVersionLine)));
}

TEST_F(VersionCheck, ValuesThePagesCannotTakeWholeOrOpenSafelyFailTheCheck)
{
    const std::string longName(256, 'n');
    const std::string longUrl = "http://h/" + std::string(1015, 'u');
    // Nor an address the manual-download link would hand to the shell as a
    // file, a share or another protocol.
    for (const std::string& body :
         {NewVersionBody(longName, "d"),
          "<r status-code=\"1\"><downloadurl>" + longUrl + "</downloadurl></r>",
          std::string(
              "<r status-code=\"1\"><downloadurl>\\\\127.0.0.1\\share\\QoraSetup.exe</downloadurl></r>")})
    {
        ASSERT_TRUE(m_server.Script(XmlReply(body)));
        StartAtCheckVersion();
        ExpectCheckError();
        m_wizard.Kill();
    }
    // The longest values that fit are kept whole.
    ASSERT_TRUE(m_server.Script(XmlReply(NewVersionBody(std::string(255, 'n'), "d"))));
    StartAtCheckVersion();
    ExpectNewVersionPage();
    EXPECT_EQ(L"最新版本:" + std::wstring(255, L'n') + L" 3.0",
              TextOf(Item(CurrentPage(m_frame), kVersionLine)));
}

struct FailureCase
{
    const char* name;
    const char* response; // null: the dispatch server is given by `ip`/`port` instead
    const char* ip;
    int portVariable;            // 0: fault server, 1: nothing listening
    const char* login = nullptr; // a network's login page: what the log says of it
};

class CheckFailure : public VersionCheck, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(CheckFailure, EndsOnTheCheckErrorPage)
{
    const FailureCase& c = GetParam();
    if (c.response)
    {
        ASSERT_TRUE(m_server.Script(ReplyScript(c.response)));
    }
    const int port = c.portVariable == 1 ? ServerPort("NO_LISTENER_PORT") : m_server.Port();
    WriteNetSetting(m_workFolder, c.ip ? c.ip : "127.0.0.1", port, 0);
    ::DeleteFileW((TempFolder() + L"QVXLiveUpdate.log").c_str());
    StartAtCheckVersion();
    ExpectCheckError(60000, c.login ? kLoginPageText : kCheckErrorText);
    if (c.login)
    {
        EXPECT_NE(std::string::npos, RunLogText().find(c.login)) << RunLogText();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CheckFailure,
    ::testing::Values(
        FailureCase{"NotFound", R"({"status": 404, "body": "<r status-code=\"1\"/>"})", nullptr, 0},
        FailureCase{"ServerError", R"({"status": 500, "body": "<r status-code=\"1\"/>"})", nullptr, 0},
        FailureCase{"ChunkedWithoutLength", R"({"chunked": true, "body": "<r status-code=\"1\"/>"})", nullptr,
                    0},
        FailureCase{"NoContentLength", R"({"content_length": "none", "body": "<r status-code=\"1\"/>"})",
                    nullptr, 0},
        FailureCase{"ZeroContentLength", R"({"content_length": 0, "body": ""})", nullptr, 0},
        FailureCase{"ImplausibleContentLength",
                    R"({"content_length": 104857600, "body": "<r status-code=\"1\"/>"})", nullptr, 0},
        FailureCase{"BodyShorterThanAnnounced",
                    R"({"content_length": 400, "body": "<r status-code=\"1\"/>"})", nullptr, 0},
        FailureCase{"ConnectionClosedEarly", R"({"raw": ""})", nullptr, 0},
        FailureCase{"NobodyListening", nullptr, nullptr, 1}, FailureCase{"EmptyHost", nullptr, "", 0},
        FailureCase{"UnresolvableName", nullptr, "no-such-host.invalid", 0},
        // A network's login page in the server's place (what makes one is
        // the unit tests'), and the server's own error page.
        FailureCase{"LoginRedirect",
                    R"({"status": 302, "headers": [["Location", "http://Login.Campus.invalid/auth?u=1"]]})",
                    nullptr, 0, "(status 302, Content-Type none, Location host login.campus.invalid"},
        FailureCase{
            "ServerErrorPage",
            R"({"status": 502, "headers": [["Content-Type", "text/html"]], "body": "<html>502</html>"})",
            nullptr, 0}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

class SecureCheck : public VersionCheck, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(SecureCheck, GoesThroughWhateverTheCertificate)
{
    const int port = ServerPort(GetParam());
    ASSERT_NE(0, port);
    ASSERT_TRUE(m_server.Script(XmlReply(NewVersionBody("Secure", "d"))));
    WriteNetSetting(m_workFolder, "127.0.0.1", port, 1);
    StartAtCheckVersion();
    ExpectNewVersionPage();
    const Json log = m_server.Requests();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(port, log[0]["endpoint_port"].number);
    EXPECT_NE(nullptr, FindHeader(log[0], "Version"));
}

// Self-signed, expired, and issued for another host name.
INSTANTIATE_TEST_SUITE_P(Certificates, SecureCheck,
                         ::testing::Values("TLS_GOOD_PORT", "TLS_EXPIRED_PORT", "TLS_WRONGHOST_PORT"));

TEST_F(VersionCheck, ProxyAskingForCredentialsGetsThemAndTheProbeComesFirst)
{
    // The proxy's 407 is answered over plain HTTP: Wine's WinINet cannot
    // re-send an HTTPS request through a proxy after a 407.
    SystemProxy proxy(1, L"127.0.0.1:" + std::to_wstring(ServerPort("PROXY_AUTH_PORT")));
    ASSERT_TRUE(m_server.Script(XmlReply(NewVersionBody("Proxied", "d"))));
    StartAtCheckVersion();
    ExpectNewVersionPage();
    const Json log = m_server.Requests();
    ASSERT_EQ(2u, log.size()) << "the probe and the request proper";
    EXPECT_EQ(nullptr, FindHeader(log[0], "Version"));
    EXPECT_EQ(nullptr, FindHeader(log[0], "Content-Type"));
    EXPECT_NE(nullptr, FindHeader(log[1], "Version"));
    EXPECT_NE(nullptr, FindHeader(log[1], "Content-Type"));
    for (const Json& request : log.array)
        EXPECT_EQ(L"/gdisp.xml?", request["path"].string);
}

TEST_F(VersionCheck, HttpsThroughAProxyGoesThrough)
{
    SystemProxy proxy(1, L"127.0.0.1:" + std::to_wstring(ServerPort("PROXY_OPEN_PORT")));
    ASSERT_TRUE(m_server.Script(XmlReply(NewVersionBody("Tunnelled", "d"))));
    WriteNetSetting(m_workFolder, "127.0.0.1", ServerPort("TLS_WRONGHOST_PORT"), 1);
    StartAtCheckVersion();
    ExpectNewVersionPage();
    EXPECT_EQ(2u, m_server.Requests().size());
}

TEST_F(VersionCheck, ProxyThatNeverStopsAskingEndsTheCheck)
{
    // The fault server plays a proxy that refuses every credential: it
    // answers, so nothing goes around it.
    SystemProxy proxy(1, L"127.0.0.1:" + std::to_wstring(m_server.Port()));
    ASSERT_TRUE(m_server.Script(ReplyScript(
        R"({"status": 407, "headers": [["Proxy-Authenticate", "Basic realm=\"x\""]], "body": "no"})")));
    ::DeleteFileW((TempFolder() + L"QVXLiveUpdate.log").c_str());
    StartAtCheckVersion();
    ExpectCheckError();
    EXPECT_EQ(std::string::npos, RunLogText().find("going direct")) << RunLogText();
    const size_t sent = m_server.Requests().size();
    EXPECT_GE(sent, 2u) << "the credentials were never tried";
    EXPECT_LE(sent, 10u) << "the retries are not bounded";
}

TEST_F(VersionCheck, CancelAsksWhileTheCheckRunsAndNoLetsItFinish)
{
    ASSERT_TRUE(m_server.Script(ReplyScript(R"({"delay_before_headers_ms": 3000, "body": )" +
                                            JsonString(NewVersionBody("Late", "d")) + "}")));
    StartAtCheckVersion();
    Click(Item(m_frame, kCancel));
    HWND box = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, box);
    // The answer arrives while the box is open and moves the wizard on.
    ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
    EXPECT_TRUE(::IsWindow(box));
    AnswerMessageBox(box, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_EQ(L"CNewVersionDlg", CurrentPageTag(m_frame));
    EXPECT_TRUE(m_wizard.IsRunning());
}

TEST_F(VersionCheck, ConfirmedCancelEndsPromptlyWhileTheWorkerWaits)
{
    StartAtCheckVersion(); // the server holds the answer back
    ASSERT_TRUE(m_server.WaitForRequests(1, "/gdisp.xml"));
    CancelAndConfirm();
    ExpectEndsPromptly();
}
