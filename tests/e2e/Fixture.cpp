#include "Fixture.h"

namespace e2e
{
void WizardTest::SetUp()
{
    // The client's installer made its folder, where the wizard keeps its
    // settings file; a fresh prefix has none.
    ::CreateDirectoryW(SettingsFolder().c_str(), nullptr);
    RemoveIni();
    RemoveClientRecord();
    ASSERT_TRUE(m_server.IsAvailable()) << "the test servers are not running (FAULT_PORT is not set)";
    m_server.Reset();
    // Unless a case says otherwise, the check and the download wait on a
    // server that answers only after the case is over.
    ASSERT_TRUE(
        m_server.Script(R"([{"path": "/gdisp.xml", "responses": [{"delay_before_headers_ms": 120000}]},
                                    {"path": "/slow/package.exe", "responses": [{"delay_before_headers_ms": 120000}]}])"));
    WriteNetSetting(m_workFolder, "127.0.0.1", m_server.Port(), 0);
}

std::string WizardTest::SlowRecord() const
{
    return "newversionname=Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88\r\nnewversion=3.0\r\n"
           "downloadurl=http://127.0.0.1:" +
           std::to_string(m_server.Port()) + "/slow/package.exe\r\n";
}

void WizardTest::TearDown()
{
    m_wizard.Kill();
    RemoveIni();
    RemoveClientRecord();
    for (auto& client : m_clients)
        client->Kill();
}

void WizardTest::StartWizard()
{
    ASSERT_TRUE(m_wizard.Start(m_exe, m_workFolder));
    m_frame = WaitForFrame(m_wizard.Id());
    ASSERT_NE(nullptr, m_frame) << "the wizard frame did not appear";
}

void WizardTest::StartAtCheckVersion()
{
    StartWizard();
    ASSERT_TRUE(WaitForPage(m_frame, L"CWelcomeDlg"));
    // As a user who reads the page first: its pages made, the check waits
    // at its connection for Next.
    ASSERT_TRUE(WaitUntil([&] { return FindPageWithItem(m_frame, 1016) != nullptr; }));
    Click(Item(m_frame, 1000));
    // A quick answer may already have moved the wizard on.
    ASSERT_TRUE(WaitUntil([&] { return CurrentPageTag(m_frame) != L"CWelcomeDlg"; }));
}

void WizardTest::StartAtNewVersion(const std::string& updateSection)
{
    WriteIni("[Run]\r\nfrom=1\r\n[Update]\r\n" + updateSection);
    StartWizard();
    ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
}

void WizardTest::ExpectEndsPromptly()
{
    EXPECT_TRUE(m_wizard.WaitForExit(10000)) << "the wizard did not end";
    EXPECT_EQ(0u, m_wizard.ExitCode());
    EXPECT_FALSE(IniExists()) << "LiveUpdate.ini outlived the wizard";
}

void WizardTest::CancelAndConfirm()
{
    Click(Item(m_frame, 1001));
    HWND confirm = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, confirm) << "no question came";
    AnswerMessageBox(confirm, IDYES);
}

Process& WizardTest::StartClient(const std::wstring& exeName)
{
    const std::wstring path = m_workFolder + L"\\" + exeName;
    ::CopyFileW(StandInPath(L"QOravel.exe").c_str(), path.c_str(), FALSE);
    m_clients.push_back(std::make_unique<Process>());
    EXPECT_TRUE(m_clients.back()->Start(path, m_workFolder));
    return *m_clients.back();
}
} // namespace e2e
