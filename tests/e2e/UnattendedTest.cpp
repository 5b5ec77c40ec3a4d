// Unattended runs: the real program started with options, as a scheduled
// task starts it, and its exit code read. No window may appear at any time.
#include "UpgradeFixture.h"

#include <sddl.h>
#include <shlobj.h>

using namespace e2e;

namespace
{
struct RunCase
{
    const char* name;
    const wchar_t* args;
    const std::string& answer; // the check's
    bool clientRuns, wizardRuns;
    DWORD exitCode;
    bool downloads, installs, clientEnds;
    const wchar_t* build = L"QVXLiveUpdate"; // the wizard's variant
    // An update record an earlier run left in the settings file, of an
    // older release when the build is keyed.
    bool staleRecord = false;
    // Another program holds the wizard's mutex name, as any user may create
    // it in the global namespace a SYSTEM run sees.
    bool nameTaken = false;
    // What the installer ends with, and its word on a cancel.
    int installerExit = 0;
    const wchar_t* userCancel = L"no";
    // The step the two-second deadline comes in: a download served at 4 KiB/s,
    // an installer that waits to be released.
    enum
    {
        NoDeadline,
        InDownload,
        InInstaller
    } deadline = NoDeadline;
};

// The check's answer offering version 3.0 at `url`, with `more` inside.
std::string Offer(const std::string& url, const std::string& more = "")
{
    return R"({"body": )" +
           JsonString("<r status-code=\"1\"><newversion>3.0</newversion><downloadurl>" + url +
                      "</downloadurl>" + more + "</r>") +
           "}";
}

// Lets everyone do everything in the folder, as every account may create
// files in the system's temporary folder.
void OpenToEveryone(const std::wstring& path)
{
    LocalMemory descriptor;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                       descriptor.Receive(), nullptr));
    EXPECT_TRUE(::SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.Get()));
}

class Unattended : public Upgrade
{
  protected:
    void Answer(const std::string& answer) const
    {
        ASSERT_TRUE(
            m_server.Script(R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [)" + answer + "]}"));
    }

    // Runs the program with `args` to its end, watching its windows all the
    // while; its output is left in `output`.
    DWORD Run(const std::wstring& args, std::string& output, bool& windowShown)
    {
        // A file of its own each time: Wine may hold the last one a while.
        const std::wstring outputPath =
            m_workFolder + L"\\output-" + std::to_wstring(::GetTickCount64()) + L".txt";
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
        const DWORD exitCode = run.ExitCode();
        output = ReadBytes(outputPath);
        ::DeleteFileW(outputPath.c_str());
        return exitCode;
    }
};
} // namespace

TEST_F(Unattended, ExitCodesTellWhatHappenedAndNoWindowEverAppears)
{
    const wchar_t silentWithArgs[] = L"/silent /installer-args \"/S /D=C:\\Program Files\\Qora\"";
    const std::string offer = Offer(PackageUrl()), current = R"({"body": "<r status-code=\"0\"/>"})",
                      failing = R"({"status": 500})",
                      badDigest = Offer(PackageUrl(), "<sha256>" + std::string(64, '0') + "</sha256>"),
                      otherStatus = R"({"body": "<r status-code=\"2\"/>"})",
                      // Signed, and the installed version: a release replayed.
        replayed = R"({"body": )" +
                   JsonString(ReadBytes(ServedFilesFolder() + L"\\answers\\trust-old.exe.xml")) + "}",
                      slowOffer = Offer(ScriptedPackageUrl());
    const RunCase cases[] = {
        {"Upgraded", silentWithArgs, offer, false, false, 0, true, true, false},
        {"Current", L"-SILENT", current, false, false, 1, false, false, false},
        {"CheckFailed", L"/silent", failing, false, false, 3, false, false, false},
        {"PackageRefused", L"/silent", badDigest, false, false, 4, true, false, false},
        {"ClientLeftRunning", L"/silent", offer, true, false, 2, false, false, false},
        {"ClientClosed", L"/silent /CloseClient", offer, true, false, 0, true, true, true},
        {"AnotherInstance", L"/silent", offer, false, true, 6, false, false, false},
        {"RestartRequired", L"/silent", offer, false, false, 3010, true, true, false, L"QVXLiveUpdate", false,
         false, 3010},
        {"InstallerFailed", L"/silent", offer, false, false, 8, true, true, false, L"QVXLiveUpdate", false,
         false, 1603},
        {"InstallerCancelled", L"/silent", offer, false, false, 8, true, true, false, L"QVXLiveUpdate", false,
         false, 0, L"yes"},
        {"WizardNameTaken", L"/silent", offer, false, false, 0, true, true, false, L"QVXLiveUpdate", false,
         true},
        {"DeadlineInDownload", L"/silent /deadline 1", slowOffer, false, false, 4, true, false, false,
         L"QVXLiveUpdate", false, false, 0, L"no", RunCase::InDownload},
        {"DeadlineInInstaller", L"/silent /deadline 1", offer, false, false, 9, true, true, false,
         L"QVXLiveUpdate", false, false, 0, L"no", RunCase::InInstaller},
        {"CheckOffered", L"/check", offer, false, false, 10, false, false, false},
        {"CheckCurrent", L"-check", current, false, false, 1, false, false, false},
        {"BadOption", L"/bogus", offer, false, false, 7, false, false, false},
        {"OtherStatus", L"/check", otherStatus, false, false, 3, false, false, false, L"QVXLiveUpdate_keyed"},
        {"OtherStatusStaleRecord", L"/silent", otherStatus, false, false, 3, false, false, false,
         L"QVXLiveUpdate", true},
        {"KeyedReplayedRelease", L"/silent", replayed, false, false, 1, false, false, false,
         L"QVXLiveUpdate_keyed"},
    };
    for (const RunCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_server.Reset();
        Answer(c.answer);
        ::DeleteFileW(m_marker.c_str());
        Process* client = c.clientRuns ? &StartClient(L"QOravel.exe") : nullptr;
        m_exe = TestProgramFolder() + L"..\\" + c.build + L".exe";
        ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_EXIT_CODE", std::to_wstring(c.installerExit).c_str());
        ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_USERCANCEL", c.userCancel);
        ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_DEADLINE_SECONDS", c.deadline ? L"2" : nullptr);
        ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_WAIT_FILE",
                                  c.deadline == c.InInstaller ? m_waitFile.c_str() : nullptr);
        if (c.deadline == c.InDownload)
            ScriptPackage({ServedFile(kPackage, R"("etag": "\"v1\"", "rate_bytes_per_s": 4096)")}, true);
        if (c.staleRecord)
            WriteIni("[Update]\r\nnewversion=2.1\r\ndownloadurl=" + PackageUrl() + "\r\n");
        if (c.wizardRuns)
            StartWizard();
        const KernelHandle name(c.nameTaken ? ::CreateMutexW(nullptr, FALSE, L"QOravel_LiveUpdate")
                                            : nullptr);

        std::string output;
        bool windowShown = true;
        EXPECT_EQ(c.exitCode, Run(c.args, output, windowShown));
        EXPECT_FALSE(windowShown);
        EXPECT_EQ(c.downloads,
                  !PackageRequests("/files/" + std::string(kPackage)).empty() || !PackageRequests().empty());
        EXPECT_EQ(c.installs ? 1 : 0, InstallerRuns());
        // The given command line reaches the package, and never the log.
        EXPECT_TRUE(c.args != silentWithArgs ||
                    ReadBytes(m_marker).find("QoraSetup.exe\" /S /D=C:\\Program Files\\Qora\r") !=
                        std::string::npos);
        EXPECT_EQ(std::string::npos, RunLog().find("Files\\Qora"));
        EXPECT_TRUE(!client || c.clientEnds != client->IsRunning());
        const std::string line =
            c.exitCode == 7 ? "unknown option" : "exit code " + std::to_string(c.exitCode) + ",";
        EXPECT_NE(std::string::npos, output.find(line)) << output;
        EXPECT_EQ(c.installs && c.deadline != c.InInstaller,
                  output.find("(the installer's exit code " + std::to_string(c.installerExit) + ")") !=
                      std::string::npos)
            << output;
        if (c.deadline == c.InInstaller)
        {
            // Left running, never ended: released, it goes on to write its result.
            const std::wstring result = TempFolder() + L"QVXLivaUpdate.ini";
            EXPECT_FALSE(FileExists(result));
            ReleaseInstaller();
            EXPECT_TRUE(WaitUntil([&] { return FileExists(result); })) << "the installer was ended";
            EXPECT_TRUE(
                WaitUntil([&] { return ::DeleteFileW((TempFolder() + Wide(kPackage)).c_str()) != FALSE; }));
            ::DeleteFileW(m_waitFile.c_str());
        }
        // Stopped by the deadline, the download keeps its bytes, flushed and
        // recorded, for the next run (which continues from the smaller count).
        const std::string state = ReadBytes(ResumeStatePath());
        const long long held =
            state.find("held=") == std::string::npos ? 0 : atoll(&state[state.find("held=") + 5]);
        EXPECT_EQ(c.deadline == c.InDownload, held > 0 && held <= FileSize(PartialPath()));
        for (const std::wstring& left : {TempFolder() + Wide(kPackage), PartialPath(), ResumeStatePath()})
            EXPECT_TRUE(c.deadline == c.InDownload || !FileExists(left)) << "left behind";
        RemoveLeftovers();
        EXPECT_FALSE(IniExists()) << "the update record was written or left";

        m_wizard.Kill();
        for (auto& started : m_clients)
            started->Kill();
    }
}

TEST_F(Unattended, WorksInAPrivateFolderOfItsOwnWhereEveryoneMayWriteToTheTemporaryFolder)
{
    wchar_t local[MAX_PATH] = {};
    ASSERT_EQ(S_OK, ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local));
    const std::wstring temp = m_workFolder + L"\\shared-temp", sub = temp + L"\\QVXLiveUpdate",
                       work = std::wstring(local) + L"\\QVXLiveUpdate";
    // What another account left for the next run to continue, where an
    // earlier version worked (an earlier run of this case may have left the
    // folders).
    ::CreateDirectoryW(temp.c_str(), nullptr);
    ::CreateDirectoryW(sub.c_str(), nullptr);
    OpenToEveryone(temp);
    OpenToEveryone(sub);
    for (const wchar_t* name : {L"\\QVXLiveUpdate.log", L"\\QVXLivaUpdate.ini"})
        ::DeleteFileW((work + name).c_str());
    const long long size = ServedSize(kPackage);
    WriteBytes(sub + L"\\" + Wide(kPackage) + L".downloading", std::string(1000, 'x'));
    WriteBytes(sub + L"\\" + Wide(kPackage) + L".downloading.resume",
               "url=" + ScriptedPackageUrl() + "\r\nvalidator=\"v1\"\r\ntotal=" + std::to_string(size) +
                   "\r\nheld=1000\r\n");
    ScriptPackage({ServedFile(kPackage, R"("etag": "\"v1\"")")}, true);
    Answer(Offer(ScriptedPackageUrl()));

    const std::wstring originalTemp = TempFolder();
    ::SetEnvironmentVariableW(L"TMP", temp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temp.c_str());
    std::string output;
    bool windowShown = true;
    const DWORD exitCode = Run(L"/silent", output, windowShown);
    ::SetEnvironmentVariableW(L"TMP", originalTemp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", originalTemp.c_str());

    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(1, InstallerRuns());
    const std::vector<Json> requests = PackageRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(-1, RangeStart(requests.front())) << "the planted partial package was continued";
    EXPECT_NE(std::string::npos,
              ReadBytes(work + L"\\QVXLiveUpdate.log").find("end: QVXLiveUpdate: exit code 0"));
    // The installer's temporary files and its result are kept there too.
    EXPECT_TRUE(FileExists(work + L"\\QVXLivaUpdate.ini"));
    for (const wchar_t* name :
         {L"\\QVXLiveUpdate.log", L"\\QVXLivaUpdate.ini", L"\\QVXLiveUpdate\\QVXLiveUpdate.log"})
        EXPECT_FALSE(FileExists(temp + name)) << "in the shared folder";
    for (const std::wstring& name : {Wide(kPackage), Wide(kPackage) + L".downloading"})
        EXPECT_FALSE(FileExists(work + L"\\" + name)) << "left behind";
    EXPECT_NE(std::string::npos,
              output.find("log " + std::string(work.begin(), work.end()) + "\\QVXLiveUpdate.log"))
        << output;
}
