#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/ScopedHandle.h"
#include "harness/Files.h"
#include "harness/Machine.h"
#include "update/check/NetSetting.h"
#include "update/network/NetworkRoute.h"

namespace
{
std::string Utf16Le(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t unit : text)
    {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// A private folder made the current directory for the length of a test, as
// the settings file is found there by its bare name.
class NetSettingTest : public ::testing::Test
{
  protected:
    NetSettingTest()
    {
        wchar_t previous[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, previous);
        m_previous = previous;
        ::SetCurrentDirectoryW(m_folder.Path().c_str());
    }
    ~NetSettingTest() override
    {
        // Out of the folder before it goes.
        ::SetCurrentDirectoryW(m_previous.c_str());
    }

    void WriteSetting(const std::string& bytes)
    {
        FileHandle file(
            ::CreateFileW(kNetSettingFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(
            ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    // Loads with a caller's list that already holds one entry, to show that
    // the reader only appends.
    void Load()
    {
        m_server = L"before";
        m_list.assign(1, DispatchPort{-7, -7});
        EXPECT_EQ(1, LoadNetSetting(m_server, m_list));
        ASSERT_FALSE(m_list.empty());
        EXPECT_EQ(-7, m_list[0].port);
        m_list.erase(m_list.begin());
    }
    void Load(const std::string& bytes)
    {
        WriteSetting(bytes);
        Load();
    }

    void ExpectPorts(const std::vector<std::pair<int, int>>& expected)
    {
        ASSERT_EQ(expected.size(), m_list.size());
        for (size_t i = 0; i < expected.size(); ++i)
        {
            EXPECT_EQ(expected[i].first, m_list[i].port) << "entry " << i;
            EXPECT_EQ(expected[i].second, m_list[i].ssl) << "entry " << i;
        }
    }
    void ExpectNothingRead()
    {
        EXPECT_EQ(L"before", m_server);
        EXPECT_TRUE(m_list.empty());
    }

    harness::TempDir m_folder{L"qvx-net-"};
    std::wstring m_previous;
    std::wstring m_server;
    DispatchPortList m_list;
};
} // namespace

TEST_F(NetSettingTest, ReadsTheServerAndItsPortsInFileOrder)
{
    Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<NetSetting>\r\n"
         "  <Dispatch ip=\"update.example.com\" default_port=\"8080\" ssl=\"1\">\r\n"
         "    <TestPort port=\"443\" ssl=\"1\"/>\r\n    <TestPort port=\"80\" ssl=\"0\"/>\r\n"
         "  </Dispatch>\r\n</NetSetting>\r\n");
    EXPECT_EQ(L"update.example.com", m_server);
    ExpectPorts({{8080, 1}, {443, 1}, {80, 0}});

    // Any document element; a server name in any script; a UTF-16 file.
    Load("<x><Dispatch ip=\"\xE6\x9C\x8D\xE5\x8A\xA1\xF0\x9F\x98\x80.cn\" default_port=\"81\"/></x>");
    EXPECT_EQ(L"\x670D\x52A1\xD83D\xDE00.cn", m_server);
    ExpectPorts({{81, 0}});
    Load(Utf16Le(L"<r><Dispatch ip='\x4E2D'/></r>"));
    EXPECT_EQ(L"\x4E2D", m_server);
    ExpectPorts({{0, 0}});
}

TEST_F(NetSettingTest, MatchesElementNamesInAnyCaseAndAttributeNamesExactly)
{
    Load("<r><Dispatch ip=\"h\" ssl=\"1\"><TestPort port=\"8080abc\" ssl=\"yes\"/></Dispatch></r>");
    EXPECT_EQ(L"h", m_server);
    ExpectPorts({{0, 1}, {8080, 0}});

    Load("<r><DISPATCH ip=\"h\" default_port=\"1\"><testport port=\"2\"/><TESTPORT "
         "port=\"3\"/></DISPATCH></r>");
    EXPECT_EQ(L"h", m_server);
    ExpectPorts({{1, 0}, {2, 0}, {3, 0}});

    // Attribute names in another case are not found: the address becomes
    // empty and the numbers 0.
    Load(
        "<r><Dispatch IP=\"h\" Default_Port=\"1\" SSL=\"1\"><TestPort Port=\"2\" Ssl=\"1\"/></Dispatch></r>");
    EXPECT_EQ(L"", m_server);
    ExpectPorts({{0, 0}, {0, 0}});
}

TEST_F(NetSettingTest, ReadsOnlyDirectChildrenAndTheFirstDispatch)
{
    Load("<r><other><Dispatch ip=\"deep\" default_port=\"9\"/></other>"
         "<Dispatch ip=\"first\" default_port=\"1\"><TestPort port=\"2\"/>"
         "<group><TestPort port=\"99\"/></group><TestPort port=\"3\" ssl=\"1\">text<TestPort port=\"98\"/>"
         "</TestPort></Dispatch><Dispatch ip=\"second\" default_port=\"5\"><TestPort "
         "port=\"6\"/></Dispatch></r>");
    EXPECT_EQ(L"first", m_server);
    ExpectPorts({{1, 0}, {2, 0}, {3, 1}});

    // A Dispatch below the document element's children is not looked for.
    Load("<r><a><Dispatch ip=\"h\" default_port=\"1\"/></a></r>");
    ExpectNothingRead();
    Load("<Dispatch ip=\"h\" default_port=\"1\"/>");
    ExpectNothingRead();

    // Nesting of a sane depth elsewhere in the file does not matter.
    std::string nested;
    for (int i = 0; i < 200; ++i)
        nested += "<n>";
    nested += "<TestPort port=\"97\"/>";
    for (int i = 0; i < 200; ++i)
        nested += "</n>";
    Load("<r><Dispatch ip=\"h\" default_port=\"1\">" + nested + "<TestPort port=\"2\"/></Dispatch></r>");
    EXPECT_EQ(L"h", m_server);
    ExpectPorts({{1, 0}, {2, 0}});
}

TEST_F(NetSettingTest, KeepsPortsAsWrittenWithoutRangeChecks)
{
    Load(
        "<r><Dispatch ip=\"h\" default_port=\"70000\" ssl=\"2\"><TestPort port=\"0\"/><TestPort port=\"-1\"/>"
        "<TestPort port=\"65536\"/><TestPort port=\"99999999999\"/><TestPort port=\"abc\" ssl=\"-1\"/>"
        "<TestPort port=\" 443 \"/><TestPort port=\"\"/><TestPort/></Dispatch></r>");
    ExpectPorts({{70000, 2}, {0, 0}, {-1, 0}, {65536, 0}, {INT_MAX, 0}, {0, -1}, {443, 0}, {0, 0}, {0, 0}});
}

TEST_F(NetSettingTest, LeavesTheOutputsAloneWithoutAUsableFile)
{
    Load();
    ExpectNothingRead();

    const std::string unusable[] = {
        "",
        "<r><Dispatch ip=\"h\" default_port=\"1\"></r>",
        "<r/>",
        "<?xml version=\"1.0\"?><?xml version=\"1.0\"?><r><Dispatch ip=\"h\"/></r>",
        "<!DOCTYPE r [<!ENTITY e \"h\">]><r><Dispatch ip=\"&e;\" default_port=\"1\"/></r>",
        "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///c:/windows/win.ini\">]><r><Dispatch "
        "ip=\"x\">&e;</Dispatch></r>",
    };
    for (const std::string& bytes : unusable)
    {
        Load(bytes);
        ExpectNothingRead();
    }

    // A runaway depth fails to load rather than exhausting the stack.
    std::string deep = "<r><Dispatch ip=\"h\" default_port=\"1\"/>";
    for (int i = 0; i < 100000; ++i)
        deep += "<n>";
    for (int i = 0; i < 100000; ++i)
        deep += "</n>";
    Load(deep + "</r>");
    ExpectNothingRead();
}

TEST_F(NetSettingTest, ReadsAFileOfSeveralMegabytes)
{
    std::string big = "<r><Dispatch ip=\"h\" default_port=\"1\">";
    const int count = 60000;
    for (int i = 0; i < count; ++i)
        big += "<TestPort port=\"" + std::to_string(i) + "\" ssl=\"" + std::to_string(i % 2) + "\" note=\"" +
               std::string(60, 'n') + "\"/>\r\n";
    big += "</Dispatch></r>";
    ASSERT_GT(big.size(), 5u * 1024 * 1024);
    Load(big);
    EXPECT_EQ(L"h", m_server);
    ASSERT_EQ(static_cast<size_t>(count) + 1, m_list.size());
    for (int i = 0; i < count; ++i)
    {
        ASSERT_EQ(i, m_list[i + 1].port);
        ASSERT_EQ(i % 2, m_list[i + 1].ssl);
    }
}

namespace
{
// The reader against the user's proxy settings as each case leaves them.
class SystemProxyTest : public ::testing::Test
{
  protected:
    // The caller's variables start with values the reader must overwrite or
    // keep, as its rules say.
    void Read()
    {
        m_enabled = 7;
        m_proxy = L"caller";
        EXPECT_EQ(1, ReadSystemProxy(m_enabled, m_proxy));
    }

    harness::SystemProxy m_settings;
    int m_enabled = 0;
    std::wstring m_proxy;
};
} // namespace

TEST_F(SystemProxyTest, ReadsTheProxyTextOnlyWhenSwitchedOn)
{
    m_settings.SetServer(L"proxy.example:3128");
    m_settings.SetEnable(0);
    Read();
    EXPECT_EQ(0, m_enabled);
    EXPECT_EQ(L"caller", m_proxy);

    m_settings.Delete(L"ProxyEnable");
    Read();
    EXPECT_EQ(0, m_enabled);
    EXPECT_EQ(L"caller", m_proxy);

    m_settings.SetEnable(1);
    m_settings.SetServer(L"http=proxy.example:3128;https=secure.example:8443;ftp=f:21");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"http=proxy.example:3128;https=secure.example:8443;ftp=f:21", m_proxy);

    // Any non-zero value switches it on.
    m_settings.SetEnable(0x100);
    m_settings.SetServer(L"\x4EE3\x7406:8080");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"\x4EE3\x7406:8080", m_proxy);

    m_settings.Delete(L"ProxyServer");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);
}

TEST_F(SystemProxyTest, ReadsTheSwitchAsFourBytesWhateverItsType)
{
    m_settings.SetServer(L"p:1");
    const struct
    {
        std::vector<BYTE> bytes;
        int enabled;
    } cases[] = {
        {{1, 0, 0, 0}, 1},
        {{0, 0, 0, 0}, 0},
        {{0, 0, 0, 1}, 1},
        {{1}, 1},
        {{0}, 0},
        {{0, 1}, 1},
        // Too long for four bytes: not read, so off.
        {{1, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{1, 1, 1, 1, 1, 1, 1, 1}, 0},
    };
    for (const auto& c : cases)
    {
        m_settings.Set(L"ProxyEnable", REG_BINARY, c.bytes.data(), c.bytes.size());
        Read();
        EXPECT_EQ(c.enabled, m_enabled) << c.bytes.size() << " bytes";
        EXPECT_EQ(c.enabled ? L"p:1" : L"caller", m_proxy) << c.bytes.size() << " bytes";
    }
}

TEST_F(SystemProxyTest, NeverReadsPastTheTextBudget)
{
    m_settings.SetEnable(1);
    // 1023 characters and the terminating zero fill the 2048 bytes exactly.
    const std::wstring fits = L"http=" + std::wstring(1018, L'a');
    m_settings.SetServer(fits);
    Read();
    EXPECT_EQ(fits, m_proxy);

    // The whole budget without a zero: all of it, nothing beyond.
    const std::wstring full(1024, L'b');
    m_settings.Set(L"ProxyServer", REG_BINARY, full.data(), full.size() * sizeof(wchar_t));
    Read();
    EXPECT_EQ(full, m_proxy);

    // Longer than the budget: the text cannot be read, the proxy stays on.
    m_settings.SetServer(std::wstring(1024, L'c'));
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);
    m_settings.SetServer(std::wstring(5000, L'd'));
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);

    // The text ends at its first zero.
    const wchar_t withZero[] = L"p:1\0junk";
    m_settings.Set(L"ProxyServer", REG_MULTI_SZ, withZero, sizeof withZero);
    Read();
    EXPECT_EQ(L"p:1", m_proxy);
}
