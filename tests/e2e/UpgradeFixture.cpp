#include "UpgradeFixture.h"

#include <regex>

namespace e2e
{
namespace
{
const wchar_t kDownloadErrorBox[] = L"下载文件发生错误，请重新执行更新程序！";
const wchar_t kDownloadErrorText[] = L"下载更新包时发生错误，请重新启动升级程序，进行再次升级";
} // namespace

std::string ServedFile(const std::string& file, const std::string& fields)
{
    return R"({"body_file": )" + JsonString(file) + R"(, "ranges": true)" +
           (fields.empty() ? "" : ", " + fields) + "}";
}

long long ServedSize(const std::string& file)
{
    return FileSize(ServedFilesFolder() + L"\\" + Wide(file));
}

std::string Fields(const std::vector<std::string>& fields)
{
    std::string joined;
    for (const std::string& field : fields)
        if (!field.empty())
            joined += (joined.empty() ? "" : ", ") + field;
    return joined;
}

long long RangeStart(const Json& request)
{
    const std::wstring range = HeaderValue(request, "Range");
    if (range.compare(0, 6, L"bytes=") != 0 || range.back() != L'-')
        return -1;
    return _wtoi64(range.c_str() + 6);
}

void Upgrade::SetUp()
{
    WizardTest::SetUp();
    m_marker = m_workFolder + L"\\installer-runs.txt";
    m_waitFile = m_workFolder + L"\\installer-may-end";
    ::DeleteFileW(m_marker.c_str());
    ::DeleteFileW(m_waitFile.c_str());
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_MARKER", m_marker.c_str());
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_USERCANCEL", L"no");
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_WAIT_FILE", nullptr);
    // The retry schedule's own waits, unless a case shortens them.
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_FIRST_RETRY_MS", nullptr);
    RemoveLeftovers();
    // Each case reads only its own runs' lines.
    ::DeleteFileW((TempFolder() + L"QVXLiveUpdate.log").c_str());
    ::CreateDirectoryW(ServedFilesFolder().c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(StandInPath(L"fake_installer.exe").c_str(),
                            (ServedFilesFolder() + L"\\" + Wide(kPackage)).c_str(), FALSE));
    SetClientRecord(
        {{L"DisplayName", L"Qora企业版"}, {L"DisplayVersion", L"2.1.0"}, {L"MainVersion", L"2.1"}});
}

void Upgrade::TearDown()
{
    WizardTest::TearDown();
    SetStallSeconds(0);
    RemoveLeftovers();
    for (const std::wstring& path : m_madePackages)
        ::DeleteFileW(path.c_str());
}

void Upgrade::RemoveLeftovers() const
{
    for (const std::wstring& name :
         {Wide(kPackage), Wide(kPackage) + L".downloading", Wide(kPackage) + L".downloading.resume",
          std::wstring(L"QVXLivaUpdate.ini"), std::wstring(L".downloading")})
        ::DeleteFileW((TempFolder() + name).c_str());
}

std::string Upgrade::PackageUrl(const char* scheme, int port) const
{
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port ? port : m_server.Port()) + "/files/" +
           kPackage;
}

std::string Upgrade::ScriptedPackageUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_server.Port()) + kScriptedPackagePath;
}

void Upgrade::ScriptPackage(const std::vector<std::string>& responses, bool repeatLast) const
{
    std::string list;
    for (const std::string& response : responses)
        list += (list.empty() ? "" : ", ") + response;
    ASSERT_TRUE(m_server.Script(R"({"path": )" + JsonString(kScriptedPackagePath) + R"(, "repeat_last": )" +
                                (repeatLast ? "true" : "false") + R"(, "responses": [)" + list + "]}"));
}

std::vector<Json> Upgrade::PackageRequests(const std::string& path) const
{
    std::vector<Json> found;
    for (const Json& request : m_server.Requests().array)
        if (request["path"].string == Wide(path))
            found.push_back(request);
    return found;
}

void Upgrade::MakeLargePackage(const std::string& name, long long size)
{
    std::string bytes = ReadBytes(StandInPath(L"fake_installer.exe"));
    ASSERT_FALSE(bytes.empty());
    ASSERT_LT(static_cast<long long>(bytes.size()), size);
    const size_t program = bytes.size();
    bytes.resize(static_cast<size_t>(size));
    // Bytes that differ with their offset: a piece put in the wrong place shows.
    for (size_t i = program; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    m_madePackages.push_back(ServedFilesFolder() + L"\\" + Wide(name));
    WriteBytes(m_madePackages.back(), bytes);
}

void Upgrade::OfferVersion(const std::string& url, const std::string& fields, const std::string& elements)
{
    const std::string body = "<r status-code=\"1\"><newversionname>Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88"
                             "</newversionname><newversion>3.0</newversion><downloadurl>" +
                             url + "</downloadurl>" + elements + "<desc>d</desc></r>";
    ASSERT_TRUE(m_server.Script(R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [{"body": )" +
                                JsonString(body) + (fields.empty() ? "" : ", " + fields) + "}]}"));
}

void Upgrade::RunToDownload(const std::string& url, const std::string& fields, const std::string& elements)
{
    OfferVersion(url, fields, elements);
    StartAtCheckVersion();
    ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
    Click(Item(m_frame, kNext));
    ASSERT_TRUE(WaitUntil([&] { return DownloadPage() || !IsVisible(m_frame); }));
}

void Upgrade::SetStallSeconds(int seconds) const
{
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_STALL_SECONDS",
                              seconds > 0 ? std::to_wstring(seconds).c_str() : nullptr);
}

std::string Upgrade::RunLog() const
{
    return ReadBytes(TempFolder() + L"QVXLiveUpdate.log");
}

void Upgrade::HoldInstaller() const
{
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_WAIT_FILE", m_waitFile.c_str());
}

void Upgrade::ReleaseInstaller() const
{
    WriteBytes(m_waitFile, "go");
}

int Upgrade::InstallerRuns() const
{
    const std::string text = ReadBytes(m_marker);
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

void Upgrade::ExpectEndedAfterInstalling()
{
    ASSERT_TRUE(m_wizard.WaitForExit(30000));
    EXPECT_EQ(0u, m_wizard.ExitCode());
    EXPECT_EQ(1, InstallerRuns());
}

void Upgrade::ExpectEndedWithoutInstalling()
{
    EXPECT_TRUE(m_wizard.WaitForExit(15000));
    EXPECT_EQ(0u, m_wizard.ExitCode());
    EXPECT_EQ(0, InstallerRuns());
    EXPECT_FALSE(FileExists(TempFolder() + Wide(kPackage)));
    EXPECT_FALSE(IniExists());
}

void Upgrade::ExpectDownloadError(bool partialKept, const wchar_t* boxPattern)
{
    HWND box = WaitForMessageBox(m_wizard.Id(), L"QVXLiveUpdate", 30000);
    ASSERT_NE(nullptr, box) << "no error box";
    EXPECT_TRUE(
        std::regex_match(MessageBoxText(box), std::wregex(boxPattern ? boxPattern : kDownloadErrorBox)))
        << ::testing::PrintToString(MessageBoxText(box));
    EXPECT_EQ(L"CDownloadDlg", CurrentPageTag(m_frame)) << "the frame waits until the box is closed";
    AnswerMessageBox(box, IDOK);
    ASSERT_TRUE(WaitForPage(m_frame, L"CFinishDlg"));
    HWND page = CurrentPage(m_frame);
    EXPECT_EQ(L"升级失败", TextOf(Item(page, kResultHeading)));
    EXPECT_EQ(kDownloadErrorText, TextOf(Item(page, kResultText)));
    EXPECT_EQ(0, InstallerRuns()) << "something incomplete was run";
    EXPECT_FALSE(FileExists(TempFolder() + Wide(kPackage)));
    EXPECT_EQ(partialKept, FileExists(PartialPath()));
    EXPECT_EQ(partialKept, FileExists(ResumeStatePath()));
    Click(Item(m_frame, kNext));
    ExpectEndsPromptly();
}

void Upgrade::ExpectPackageInstalled(const std::string& servedFile, DWORD timeoutMs)
{
    HWND notice = WaitForCloseClientQuestion(m_wizard.Id(), timeoutMs);
    ASSERT_NE(nullptr, notice) << "the download did not complete";
    EXPECT_EQ(0, InstallerRuns());
    const std::string package = ReadBytes(TempFolder() + Wide(kPackage));
    EXPECT_TRUE(package == ReadBytes(ServedFilesFolder() + L"\\" + Wide(servedFile)))
        << "the package differs from the served file (" << package.size() << " bytes)";
    EXPECT_FALSE(FileExists(PartialPath()));
    EXPECT_FALSE(FileExists(ResumeStatePath()));
    Click(Item(notice, IDOK)); // closes the client by force
    ExpectEndedAfterInstalling();
    EXPECT_FALSE(FileExists(TempFolder() + Wide(kPackage))) << "the package outlived the installation";
}
} // namespace e2e
