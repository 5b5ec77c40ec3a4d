// Unattended runs: the real program started with options, as a scheduled
// task starts it, and its exit code read. No window may appear at any time.
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include "UpgradeFixture.h"

using namespace e2e;

namespace
{
enum class Reply
{
    Newer,
    Current,
    ServerError,
    WrongDigest,
};

struct RunCase
{
    const char* name;
    const wchar_t* args;
    Reply reply;
    bool clientRuns;
    bool wizardRuns; // another instance is there first
    DWORD exitCode;
    bool downloads;
    bool installs;
    bool clientEnds;
};

const wchar_t kInstallerArgs[] = L"/S /D=C:\\Program Files\\Qora";

// Lets everyone do everything in the folder, as in the system's temporary
// folder every account may create files.
void OpenToEveryone(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    EXPECT_EQ(ERROR_SUCCESS,
              ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr));
    ::LocalFree(descriptor);
}

// True when an entry of the folder's DACL lets everyone create files in it.
bool EveryoneMayCreateIn(const std::wstring& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    bool may = !dacl;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i)
    {
        void* ace = nullptr;
        ::GetAce(dacl, i, &ace);
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        may = may || (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                      ::IsWellKnownSid(&allowed->SidStart, WinWorldSid) && (allowed->Mask & FILE_ADD_FILE));
    }
    ::LocalFree(descriptor);
    return may;
}

void RemoveTree(const std::wstring& path)
{
    const std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&operation);
}

class Unattended : public Upgrade
{
  protected:
    void Answer(Reply reply, const std::string& url)
    {
        const char* answers[] = {"", R"({"body": "<r status-code=\"0\"/>"})", R"({"status": 500})", ""};
        const std::string offer =
            "<r status-code=\"1\"><newversion>3.0</newversion><downloadurl>" + url + "</downloadurl>" +
            (reply == Reply::WrongDigest ? "<sha256>" + std::string(64, '0') + "</sha256>" : std::string()) +
            "</r>";
        const std::string answer = reply == Reply::Newer || reply == Reply::WrongDigest
                                       ? R"({"body": )" + JsonString(offer) + "}"
                                       : answers[static_cast<int>(reply)];
        ASSERT_TRUE(
            m_server.Script(R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [)" + answer + "]}"));
    }

    // Runs the program with `args` to its end, watching its windows all the
    // while; its output is left in `output`.
    DWORD Run(const std::wstring& args, std::string& output, bool& windowShown)
    {
        const std::wstring outputPath = m_workFolder + L"\\output.txt";
        Process run;
        EXPECT_TRUE(run.Start(m_exe, m_workFolder, args, outputPath));
        windowShown = false;
        EXPECT_TRUE(WaitUntil(
            [&]
            {
                windowShown = windowShown || !TopWindows(run.Id()).empty();
                return !run.IsRunning();
            },
            60000))
            << "the run did not end";
        DWORD exitCode = 99;
        run.WaitForExit(0, &exitCode);
        output = ReadTextFile(outputPath);
        return exitCode;
    }
};
} // namespace

TEST_F(Unattended, ExitCodesTellWhatHappenedAndNoWindowEverAppears)
{
    const std::wstring silentWithArgs = L"/silent /installer-args \"" + std::wstring(kInstallerArgs) + L"\"";
    const RunCase cases[] = {
        {"Upgraded", silentWithArgs.c_str(), Reply::Newer, false, false, 0, true, true, false},
        {"Current", L"-SILENT", Reply::Current, false, false, 1, false, false, false},
        {"CheckFailed", L"/silent", Reply::ServerError, false, false, 3, false, false, false},
        {"PackageRefused", L"/silent", Reply::WrongDigest, false, false, 4, true, false, false},
        {"ClientLeftRunning", L"/silent", Reply::Newer, true, false, 2, false, false, false},
        {"ClientClosed", L"/silent /CloseClient", Reply::Newer, true, false, 0, true, true, true},
        {"AnotherInstance", L"/silent", Reply::Newer, false, true, 6, false, false, false},
        {"CheckOffered", L"/check", Reply::Newer, false, false, 10, false, false, false},
        {"CheckCurrent", L"-check", Reply::Current, false, false, 1, false, false, false},
        {"BadOption", L"/bogus", Reply::Newer, false, false, 7, false, false, false},
    };
    for (const RunCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_server.Reset();
        Answer(c.reply, PackageUrl());
        ::DeleteFileW(m_marker.c_str());
        Process* client = c.clientRuns ? &StartClient(L"QOravel.exe") : nullptr;
        if (c.wizardRuns)
            StartWizard();

        std::string output;
        bool windowShown = true;
        EXPECT_EQ(c.exitCode, Run(c.args, output, windowShown));
        EXPECT_FALSE(windowShown);
        EXPECT_EQ(c.downloads, !PackageRequests("/files/" + std::string(kPackage)).empty());
        EXPECT_EQ(c.installs ? 1 : 0, InstallerRuns());
        // The package's command line is the given one, or none, as the wizard runs it.
        const std::string runs = ReadTextFile(m_marker);
        const bool withArgs = std::wstring(c.args).find(L"/installer-args") != std::wstring::npos;
        EXPECT_EQ(c.installs && withArgs,
                  runs.find("QoraSetup.exe\" /S /D=C:\\Program Files\\Qora\r") != std::string::npos)
            << runs;
        if (client)
        {
            EXPECT_EQ(c.clientEnds, !client->IsRunning());
        }
        const std::string line =
            c.exitCode == 7 ? "unknown option" : "exit code " + std::to_string(c.exitCode) + ",";
        EXPECT_NE(std::string::npos, output.find(line)) << output;
        for (const std::wstring& left : {TempFolder() + Wide(kPackage), PartialPath(), ResumeStatePath()})
            EXPECT_FALSE(Exists(left)) << "left behind";
        EXPECT_FALSE(IniExists()) << "the update record was written or left";

        m_wizard.Kill();
        for (auto& started : m_clients)
            started->Kill();
    }
}

TEST_F(Unattended, WorksInAPrivateSubfolderWhereEveryoneMayWriteToTheTemporaryFolder)
{
    const std::wstring temp = m_workFolder + L"\\shared-temp", sub = temp + L"\\QVXLiveUpdate";
    RemoveTree(temp);
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    OpenToEveryone(temp);
    // What another account left for the next run to continue.
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    OpenToEveryone(sub);
    const long long size = ServedSize(kPackage);
    WriteTextFile(sub + L"\\" + Wide(kPackage) + L".downloading", std::string(1000, 'x'));
    WriteTextFile(sub + L"\\" + Wide(kPackage) + L".downloading.resume",
                  "url=" + ScriptedPackageUrl() + "\r\nvalidator=\"v1\"\r\ntotal=" + std::to_string(size) +
                      "\r\nheld=1000\r\n");
    ScriptPackage({ServedFile(kPackage, R"("etag": "\"v1\"")")}, true);
    Answer(Reply::Newer, ScriptedPackageUrl());

    ::SetEnvironmentVariableW(L"TMP", temp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temp.c_str());
    std::string output;
    bool windowShown = true;
    const std::wstring originalTemp = TempFolder();
    const DWORD exitCode = Run(L"/silent", output, windowShown);
    ::SetEnvironmentVariableW(L"TMP", originalTemp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", originalTemp.c_str());

    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(1, InstallerRuns());
    const std::vector<Json> requests = PackageRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(-1, RangeStart(requests.front())) << "the planted partial package was continued";
    EXPECT_FALSE(EveryoneMayCreateIn(sub));
    EXPECT_NE(std::string::npos,
              ReadTextFile(sub + L"\\QVXLiveUpdate.log").find("end: QVXLiveUpdate: exit code 0"));
    EXPECT_FALSE(Exists(temp + L"\\QVXLiveUpdate.log"));
    for (const std::wstring& name : {Wide(kPackage), Wide(kPackage) + L".downloading"})
        EXPECT_FALSE(Exists(sub + L"\\" + name)) << "left behind";
    EXPECT_NE(std::string::npos,
              output.find("log " + std::string(sub.begin(), sub.end()) + "\\QVXLiveUpdate.log"))
        << output;
    RemoveTree(temp);
}
