// The settings file: encoding probe and both read branches. Runs under code
// page 936 and, in a second run, 1252.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "harness/Files.h"
#include "support/CodePages.h"
#include "support/WideText.h"
#include "update/record/LiveUpdateIni.h"

namespace
{
// A text the system's ANSI code page holds and whose ANSI form is not UTF-8.
std::wstring AnsiOnlyText()
{
    return ::GetACP() == 936 ? std::wstring(L"Qora企业版") : std::wstring(L"Qora Café");
}

class SettingsFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetLiveUpdateIniPath(m_path));
        std::wstring folder(m_path);
        folder.erase(folder.find_last_of(L'\\'));
        ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        ::DeleteFileW(m_path);
    }
    void TearDown() override { ::DeleteFileW(m_path); }

    void Write(const std::string& bytes) const { harness::WriteBytes(m_path, bytes); }

    static std::wstring Read(const wchar_t* section, const wchar_t* key, int capacity = 256)
    {
        std::wstring buffer(static_cast<size_t>(capacity), L'\0');
        ReadUpdateSetting(section, key, &buffer[0], capacity);
        return TextOfBuffer(buffer.data(), buffer.size());
    }

    wchar_t m_path[kIniPathCapacity] = {};
};
} // namespace

TEST_F(SettingsFile, PathIsTheClientsFolderInApplicationData)
{
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    EXPECT_EQ(std::wstring(appData) + L"\\Qoravel\\LiveUpdate.ini", m_path);
    EXPECT_EQ(m_path, LiveUpdateIniPath());
}

TEST_F(SettingsFile, AsciiFileIsProbedAsUtf8AndReadsAsTheAnsiBranchReadsIt)
{
    Write("[Run]\r\nfrom = 1 \r\n[Update]\r\nnewversion=\"3.0 beta\"\r\nnewversionname =Qora\r\n");
    ProbeIniEncoding();
    ASSERT_TRUE(g_bIniIsUtf8);
    const std::wstring viaUtf8[] = {Read(L"Run", L"from"), Read(L"update", L"NewVersion"),
                                    Read(L"Update", L"newversionname"), Read(L"Update", L"missing")};
    g_bIniIsUtf8 = false;
    const std::wstring viaAnsi[] = {Read(L"Run", L"from"), Read(L"update", L"NewVersion"),
                                    Read(L"Update", L"newversionname"), Read(L"Update", L"missing")};
    EXPECT_EQ(L"1", viaUtf8[0]);
    EXPECT_EQ(L"3.0 beta", viaUtf8[1]);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(viaAnsi[i], viaUtf8[i]) << "key " << i;
}

TEST_F(SettingsFile, AnsiFileIsReadThroughTheAnsiBranch)
{
    Write("[Update]\r\nnewversionname=" + EncodeText(AnsiOnlyText(), CP_ACP) + "\r\nnewversion=3.0\r\n");
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    EXPECT_EQ(AnsiOnlyText(), Read(L"Update", L"newversionname"));
    EXPECT_EQ(L"3.0", Read(L"Update", L"newversion"));
}

TEST_F(SettingsFile, ProbeLooksAtTheFirstKilobyteOnly)
{
    // A UTF-8 sequence cut by the probe's limit still counts as UTF-8 ...
    std::string head(1023, 'a');
    Write("[Update]\r\n" + head.substr(10) + "\xE4\xB8\xAD" + "\r\n");
    ProbeIniEncoding();
    EXPECT_TRUE(g_bIniIsUtf8);
    // ... and what lies beyond it is not looked at.
    Write("[Update]\r\n" + std::string(1100, 'a') + "\xD6\xD0\r\n");
    ProbeIniEncoding();
    EXPECT_TRUE(g_bIniIsUtf8);
    Write("[Update]\r\nk=\xD6\xD0\r\n");
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    // A missing file is read as ANSI, which gives only empty values.
    ::DeleteFileW(m_path);
    g_bIniIsUtf8 = true;
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    EXPECT_EQ(L"", Read(L"Run", L"from"));
}

TEST_F(SettingsFile, Utf8BranchKeepsEveryCharacter)
{
    // The platform's narrow reader would pass this through the ANSI code page
    // and destroy what it cannot hold; on a Chinese system that is most of it.
    const std::wstring name = L"Qora企业版 3.0 — Ελληνικά 😀";
    Write("[Update]\r\nnewversionname=" + EncodeText(name, CP_UTF8) +
          "\r\ndownloadurl = http://h/包.exe \r\n");
    ProbeIniEncoding();
    ASSERT_TRUE(g_bIniIsUtf8);
    EXPECT_EQ(name, Read(L"Update", L"newversionname"));
    EXPECT_EQ(L"http://h/包.exe", Read(L"Update", L"downloadurl", 1024));
}

TEST_F(SettingsFile, Utf8ValueLongerThanItsBufferIsCutWithoutSplittingAPair)
{
    std::wstring value(300, L'x');
    Write("[Update]\r\nnewversion=" + EncodeText(value, CP_UTF8) + "\r\n");
    ProbeIniEncoding();
    EXPECT_EQ(std::wstring(255, L'x'), Read(L"Update", L"newversion"));

    value = std::wstring(254, L'x') + L"😀";
    Write("[Update]\r\nnewversion=" + EncodeText(value, CP_UTF8) + "\r\n");
    ProbeIniEncoding();
    EXPECT_EQ(std::wstring(254, L'x'), Read(L"Update", L"newversion"));
}
