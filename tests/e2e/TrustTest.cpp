// Only the publisher's package runs: the packages tests/trust/prepare.sh
// signed and published, downloaded by the shipped, the keyed and the pinned
// wizard, each intact or changed on the way.
#include "Fixture.h"

#include <cstdlib>

using namespace e2e;

namespace
{
const int kNext = 1000, kResultText = 1008;
const wchar_t kDownloadErrorBox[] = L"下载文件发生错误，请重新执行更新程序！";
const wchar_t kCheckErrorText[] = L"检测服务器版本时发生错误，请重新启动升级程序，进行再次升级";
const wchar_t kAlreadyLatestText[] = L"您现在已经是客户端最新版本，无需在线更新！";

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
}

// The text between <name> and </name>.
std::string Element(const std::string& answer, const std::string& name)
{
    const size_t begin = answer.find("<" + name + ">");
    const size_t end = answer.find("</" + name + ">");
    if (begin == std::string::npos || end == std::string::npos)
        return std::string();
    return answer.substr(begin + name.size() + 2, end - begin - name.size() - 2);
}

enum class Build
{
    Plain,
    Keyed,
    Pinned
};

// Where an offer stops: at the check (as an error, or as nothing to do), in
// the download, in the download of a record a launcher prepared, or at a
// check whose reply offers no record of its own while a stale one is left.
enum class Stop
{
    Check,
    Current,
    Download,
    Launcher,
    StaleRecord
};

class Trust : public WizardTest
{
  protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        m_marker = m_workFolder + L"\\installer-runs.txt";
        ::DeleteFileW(m_marker.c_str());
        ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_MARKER", m_marker.c_str());
        ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_WAIT_FILE", nullptr);
        SetClientRecord({{L"DisplayName", L"Qora企业版"}, {L"DisplayVersion", L"2.1.0"}});
        ASSERT_FALSE(Answer("trust-signed.exe").empty()) << "the signed packages were not prepared";
    }
    static std::string Answer(const std::string& package)
    {
        return ReadBytes(ServedFilesFolder() + L"\\answers\\" + Wide(package) + L".xml");
    }
    // The variant's base name, which is also its boxes' caption.
    static std::wstring Name(Build build)
    {
        const wchar_t* names[] = {L"QVXLiveUpdate", L"QVXLiveUpdate_keyed", L"QVXLiveUpdate_pinned"};
        return names[static_cast<int>(build)];
    }
    // The package's name in the temporary folder: the address's last segment.
    static std::wstring PackageIn(const std::string& answer)
    {
        const std::string url = Element(answer, "downloadurl");
        return TempFolder() + Wide(url.substr(url.rfind('/') + 1));
    }

    // From the Welcome page of `build` to the end of the download of what
    // `answer` offers (only to the check's end when `toNewVersion` is false).
    void Download(Build build, const std::string& answer, bool toNewVersion = true)
    {
        ASSERT_TRUE(m_server.Script(R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [{"body": )" +
                                    JsonString(answer) + "}]}"));
        UseBuild(build);
        StartAtCheckVersion();
        if (!toNewVersion)
            return;
        ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
        Click(Item(m_frame, kNext));
    }
    // The same from the NewVersion page, with the record a launcher prepared
    // from `answer`.
    void Launch(Build build, const std::string& answer)
    {
        UseBuild(build);
        StartAtNewVersion(Record(answer));
        Click(Item(m_frame, kNext));
    }
    static std::string Record(const std::string& answer)
    {
        std::string record;
        for (const char* key : {"newversionname", "newversion", "downloadurl", "size", "sha256", "signature"})
            record += std::string(key) + "=" + Element(answer, key) + "\r\n";
        return record;
    }
    void UseBuild(Build build)
    {
        m_exe = TestProgramFolder() + L"..\\" + Name(build) + L".exe";
        m_caption = Name(build);
        m_runsBefore = InstallerRuns();
    }
    int InstallerRuns() const
    {
        const std::string text = ReadBytes(m_marker);
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    void ExpectInstalled(const std::string& answer)
    {
        ASSERT_TRUE(m_wizard.WaitForExit(30000)) << "the wizard did not end";
        EXPECT_EQ(0u, m_wizard.ExitCode());
        EXPECT_EQ(m_runsBefore + 1, InstallerRuns());
        EXPECT_FALSE(FileExists(PackageIn(answer)));
    }
    // The download-error box, then the Finish page; nothing run, nothing
    // kept, and the log says why.
    void ExpectRefused(const std::string& answer, const std::string& why)
    {
        HWND box = WaitForMessageBox(m_wizard.Id(), m_caption.c_str(), 30000);
        ASSERT_NE(nullptr, box) << "no error box";
        EXPECT_EQ(kDownloadErrorBox, MessageBoxText(box));
        EXPECT_EQ(m_runsBefore, InstallerRuns()) << "a refused package ran";
        const std::wstring package = PackageIn(answer);
        EXPECT_FALSE(FileExists(package));
        EXPECT_FALSE(FileExists(package + L".downloading"));
        EXPECT_FALSE(FileExists(package + L".downloading.resume"));
        const std::string log = ReadBytes(TempFolder() + L"QVXLiveUpdate.log");
        EXPECT_NE(std::string::npos, log.find(why, m_logStart)) << "the log does not say: " << why;
        AnswerMessageBox(box, IDOK);
        ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg"));
        EXPECT_EQ(L"下载更新包时发生错误，请重新启动升级程序，进行再次升级",
                  TextOf(Item(CurrentPage(m_frame), kResultText)));
        Click(Item(m_frame, kNext));
        ExpectEndsPromptly();
    }
    // The check's Finish page (its error, or nothing to do); nothing run,
    // and the log says why.
    void ExpectCheckRefused(const std::string& why, const wchar_t* text = kCheckErrorText)
    {
        ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg", 30000));
        EXPECT_EQ(text, TextOf(Item(CurrentPage(m_frame), kResultText)));
        EXPECT_EQ(m_runsBefore, InstallerRuns());
        const std::string log = ReadBytes(TempFolder() + L"QVXLiveUpdate.log");
        EXPECT_NE(std::string::npos, log.find(why, m_logStart)) << "the log does not say: " << why;
        Click(Item(m_frame, kNext));
        ExpectEndsPromptly();
    }
    // A copy of a published package, changed, served under the same name as
    // /files/<folder>/<package>.
    std::string ServeChanged(const std::string& package, const std::string& folder, bool truncate)
    {
        std::string bytes = ReadBytes(ServedFilesFolder() + L"\\packages\\" + Wide(package));
        if (truncate)
            bytes.resize(bytes.size() - 100);
        else
            bytes[bytes.size() / 2] ^= 0x01;
        ::CreateDirectoryW((ServedFilesFolder() + L"\\" + Wide(folder)).c_str(), nullptr);
        WriteBytes(ServedFilesFolder() + L"\\" + Wide(folder) + L"\\" + Wide(package), bytes);
        std::string answer = Answer(package);
        Replace(answer, "/packages/" + package, "/" + folder + "/" + package);
        return answer;
    }
    void MarkLog() { m_logStart = ReadBytes(TempFolder() + L"QVXLiveUpdate.log").size(); }

    std::wstring m_marker;
    std::wstring m_caption;
    int m_runsBefore = 0;
    size_t m_logStart = 0;
};
} // namespace

TEST_F(Trust, WhatEachBuildRefuses)
{
    std::string noSignature = Answer("trust-unsigned.exe");
    Replace(noSignature, "<signature>" + Element(noSignature, "signature") + "</signature>", "");
    std::string wrongHash = Answer("trust-unsigned.exe");
    Replace(wrongHash, Element(wrongHash, "sha256"), std::string(64, '0'));
    std::string wrongSize = Answer("trust-unsigned.exe");
    Replace(wrongSize, "<size>" + Element(wrongSize, "size"), "<size>1" + Element(wrongSize, "size"));
    // The publisher's signature, relabelled: another version, another name.
    std::string otherVersion = Answer("trust-signed.exe");
    Replace(otherVersion, "<newversion>3.0<", "<newversion>3.1<");
    std::string otherName = Answer("trust-signed.exe");
    Replace(otherName, "/trust-signed.exe<", "/trust-renamed.exe<");
    const char kNotSigned[] = "the signature does not verify with the publisher's key over the";
    const char kNotNewer[] = "\"2.1\" is not newer than the installed version \"2.1.0\"";
    const struct
    {
        Build build;
        std::string answer;
        std::string why;
        Stop stop;
    } cases[] = {
        {Build::Keyed, ServeChanged("trust-unsigned.exe", "changed", false), "SHA-256 mismatch: expected",
         Stop::Download},
        {Build::Keyed, ServeChanged("trust-unsigned.exe", "truncated", true), "size mismatch",
         Stop::Download},
        {Build::Keyed, Answer("trust-tampered.exe"), "Authenticode signature is broken", Stop::Download},
        {Build::Keyed, Answer("trust-other-key.exe"), kNotSigned, Stop::Check},
        {Build::Keyed, noSignature, "the record gives no signature", Stop::Check},
        {Build::Keyed, wrongHash, kNotSigned, Stop::Check},
        // A replayed older release: signed, and installed already (2.1.0):
        // nothing to do at the check, refused from a launcher's record, and
        // never offered by a reply that names no record of its own.
        {Build::Keyed, Answer("trust-old.exe"), kNotNewer, Stop::Current},
        {Build::Keyed, Answer("trust-old.exe"), kNotNewer, Stop::Launcher},
        {Build::Keyed, Answer("trust-old.exe"), "status-code 2; not usable", Stop::StaleRecord},
        {Build::Keyed, otherVersion, kNotSigned, Stop::Check},
        {Build::Keyed, otherName, kNotSigned, Stop::Check},
        {Build::Keyed, otherVersion, kNotSigned, Stop::Launcher},
        {Build::Plain, wrongHash, "SHA-256 mismatch", Stop::Download},
        {Build::Plain, wrongSize, "size mismatch", Stop::Download},
        {Build::Plain, Answer("trust-tampered.exe"), "Authenticode signature is broken", Stop::Download},
        {Build::Pinned, Answer("trust-unsigned.exe"), "not one this build pins", Stop::Download},
        {Build::Pinned, Answer("trust-other-signer.exe"), "not one this build pins", Stop::Download},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.why + " / " + Element(c.answer, "downloadurl"));
        MarkLog();
        m_server.Reset();
        if (c.stop == Stop::Launcher)
        {
            Launch(c.build, c.answer);
        }
        else if (c.stop == Stop::StaleRecord)
        {
            WriteIni("[Update]\r\n" + Record(c.answer));
            Download(c.build, "<response status-code=\"2\"/>", false);
        }
        else
        {
            Download(c.build, c.answer, c.stop == Stop::Download);
        }
        if (c.stop == Stop::Download || c.stop == Stop::Launcher)
            ExpectRefused(c.answer, c.why);
        else
            ExpectCheckRefused(c.why, c.stop == Stop::Current ? kAlreadyLatestText : kCheckErrorText);
        for (const Json& request : m_server.Requests().array)
            EXPECT_TRUE(c.stop == Stop::Download || request["method"].string == L"POST")
                << "a package asked for";
        m_wizard.Kill();
    }
}

TEST_F(Trust, ThePublishersPackageRunsEvenAfterAResumedDownload)
{
    for (Build build : {Build::Keyed, Build::Pinned})
    {
        Download(build, Answer("trust-signed.exe"));
        ExpectInstalled(Answer("trust-signed.exe"));
    }
    // A first run cancelled halfway, a second one cut once: the bytes the
    // first left are hashed again once, and the whole still verifies.
    std::string answer = Answer("trust-signed.exe");
    Replace(answer, "/files/packages/trust-signed.exe", "/cut/trust-signed.exe");
    const std::string body = R"("body_file": "packages/trust-signed.exe", "ranges": true, "etag": "\"t1\"")";
    ASSERT_TRUE(m_server.Script(R"({"path": "/cut/trust-signed.exe", "responses": [{)" + body +
                                R"(, "hold_after_bytes": 300000, "hold_id": "half"}, {)" + body +
                                R"(, "close_after_bytes": 200000}, {)" + body + "}]}"));
    Download(Build::Keyed, answer);
    const std::wstring partial = PackageIn(answer) + L".downloading";
    ASSERT_TRUE(WaitUntil([&] { return FileSize(partial) == 300000; }, 30000));
    Click(Item(m_frame, 1001));
    HWND confirm = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, confirm);
    AnswerMessageBox(confirm, IDYES);
    ASSERT_TRUE(m_wizard.WaitForExit(10000));
    ASSERT_TRUE(FileExists(partial)) << "the first run's bytes were not kept";

    Download(Build::Keyed, answer);
    ExpectInstalled(answer);
    EXPECT_NE(std::string::npos, ReadBytes(TempFolder() + L"QVXLiveUpdate.log").find("from byte 300000"));
}

TEST_F(Trust, NobodyCanChangeTheVerifiedPackageBeforeItRuns)
{
    // A running client keeps the install step waiting between the checks and
    // the launch.
    ASSERT_NE(0u, StartClient(L"QOravel.exe").Id());
    const std::string answer = Answer("trust-signed.exe");
    Download(Build::Keyed, answer);
    HWND notice = WaitForCloseClientQuestion(m_wizard.Id());
    ASSERT_NE(nullptr, notice);

    const std::wstring package = PackageIn(answer);
    ASSERT_TRUE(FileExists(package));
    const FileHandle writer(::CreateFileW(package.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "the package could be opened for writing";
    EXPECT_FALSE(::DeleteFileW(package.c_str()));
    EXPECT_FALSE(::MoveFileExW(package.c_str(), (package + L".moved").c_str(), MOVEFILE_REPLACE_EXISTING));

    Click(Item(notice, IDOK));
    ExpectInstalled(answer);
}
