#include "Fixture.h"

#include <shlobj.h>

#include <cstdlib>

namespace e2e
{
namespace
{
const wchar_t kRecordKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qoravel";

std::wstring AppDataFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, TRUE);
    return folder;
}
} // namespace

std::wstring IniPath()
{
    return AppDataFolder() + L"\\Qoravel\\LiveUpdate.ini";
}

void WriteTextFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot write " << std::string(path.begin(), path.end());
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

void WriteIni(const std::string& bytes)
{
    ::CreateDirectoryW((AppDataFolder() + L"\\Qoravel").c_str(), nullptr);
    WriteTextFile(IniPath(), bytes);
}

std::string ReadTextFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    ::CloseHandle(file);
    return bytes;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        return -1;
    return static_cast<long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}

std::wstring ServedFilesFolder()
{
    const char* runtime = std::getenv("RUNTIME_DIR");
    std::wstring folder = L"Z:" + Wide(runtime ? runtime : "/nonexistent") + L"/files";
    for (wchar_t& c : folder)
        if (c == L'/')
            c = L'\\';
    return folder;
}

bool IniExists()
{
    return ::GetFileAttributesW(IniPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveIni()
{
    ::DeleteFileW(IniPath().c_str());
}

void SetClientRecord(const std::map<std::wstring, std::wstring>& values)
{
    RemoveClientRecord();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0,
                                               KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr));
    for (const auto& [name, value] : values)
        ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void RemoveClientRecord()
{
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, KEY_WOW64_32KEY, 0);
}

std::wstring MakeWorkFolder()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("qvx-e2e-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    std::wstring folder = temp + std::wstring(name.begin(), name.end());
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    // Leave nothing from an earlier run that the wizard could read.
    ::DeleteFileW((folder + L"\\netsetting.xml").c_str());
    return folder;
}

void WizardTest::SetUp()
{
    // The client's installer made its folder, where the wizard keeps its
    // settings file; a fresh prefix has none.
    ::CreateDirectoryW((AppDataFolder() + L"\\Qoravel").c_str(), nullptr);
    RemoveIni();
    RemoveClientRecord();
    m_workFolder = MakeWorkFolder();
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
    DWORD exitCode = 1;
    EXPECT_TRUE(m_wizard.WaitForExit(10000, &exitCode)) << "the wizard did not end";
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(IniExists()) << "LiveUpdate.ini outlived the wizard";
}

Process& WizardTest::StartClient(const std::wstring& exeName)
{
    const std::wstring path = m_workFolder + L"\\" + exeName;
    ::CopyFileW((TestProgramFolder() + L"..\\standins\\QOravel.exe").c_str(), path.c_str(), FALSE);
    m_clients.push_back(std::make_unique<Process>());
    EXPECT_TRUE(m_clients.back()->Start(path, m_workFolder));
    return *m_clients.back();
}
} // namespace e2e
