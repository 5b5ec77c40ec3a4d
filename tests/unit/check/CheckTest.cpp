// The check room: netsetting.xml, how a reply with the package's checks is
// read, and this machine's place in a release's rollout, against digests
// worked out apart from the program (Python's hashlib over the same UTF-8
// text).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "harness/Files.h"
#include "update/check/NetSetting.h"
#include "update/check/Rollout.h"
#include "update/check/VersionReply.h"

namespace
{
const wchar_t kSignature[] = L"MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
                             L"Te55Z4Y8cvIHGKAFoOQ=";
const wchar_t kSha256[] = L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852b855";

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
class NetSetting : public ::testing::Test
{
  protected:
    NetSetting()
    {
        wchar_t previous[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, previous);
        m_previous = previous;
        ::SetCurrentDirectoryW(m_folder.Path().c_str());
    }
    ~NetSetting() override
    {
        // Out of the folder before it goes.
        ::SetCurrentDirectoryW(m_previous.c_str());
    }

    void WriteSetting(const std::string& bytes) { harness::WriteBytes(kNetSettingFileName, bytes); }

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

TEST_F(NetSetting, ReadsTheServerAndItsPortsInFileOrder)
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

TEST_F(NetSetting, MatchesElementNamesInAnyCaseAndAttributeNamesExactly)
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

TEST_F(NetSetting, ReadsOnlyDirectChildrenAndTheFirstDispatch)
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

TEST_F(NetSetting, KeepsPortsAsWrittenWithoutRangeChecks)
{
    Load(
        "<r><Dispatch ip=\"h\" default_port=\"70000\" ssl=\"2\"><TestPort port=\"0\"/><TestPort port=\"-1\"/>"
        "<TestPort port=\"65536\"/><TestPort port=\"99999999999\"/><TestPort port=\"abc\" ssl=\"-1\"/>"
        "<TestPort port=\" 443 \"/><TestPort port=\"\"/><TestPort/></Dispatch></r>");
    ExpectPorts({{70000, 2}, {0, 0}, {-1, 0}, {65536, 0}, {INT_MAX, 0}, {0, -1}, {443, 0}, {0, 0}, {0, 0}});
}

TEST_F(NetSetting, LeavesTheOutputsAloneWithoutAUsableFile)
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

TEST_F(NetSetting, ReadsAFileOfSeveralMegabytes)
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

TEST(VersionReply, ValuesAreReadAsTheRecordStoresThem)
{
    const std::wstring head = L"<r status-code=\"1\"><newversion>3.0</newversion>";
    VersionReply reply =
        ReadVersionReply(head + L"<SIZE>1024</SIZE><sha256>" + kSha256 + L"</sha256><Signature>\n" +
                         kSignature + L"\n</Signature><size>1</size><desc>a\nb</desc>" +
                         L"<mirror>https://b:8443/x/a.exe</mirror><MIRROR>http://c/a.exe</MIRROR></r>");
    EXPECT_TRUE(reply.hasStatus);
    EXPECT_EQ(L"1024", reply.record.size) << "the first of each";
    EXPECT_EQ(kSha256, reply.record.sha256);
    EXPECT_EQ(std::wstring::npos, reply.record.signature.find_first_of(L" \r\n"))
        << "stored without white space";
    EXPECT_EQ(L"a\r\nb", reply.record.desc);
    EXPECT_EQ((std::vector<std::wstring>{L"https://b:8443/x/a.exe", L"http://c/a.exe"}),
              reply.record.mirrors);
    // Whether a text is an update reply at all, whatever it was labelled.
    EXPECT_TRUE(ReadVersionReply(L"<response status-code=\"0\"/>").hasStatus);
    for (const wchar_t* text :
         {L"<html><body>login</body></html>", L"<r/>", L"not xml", L"<r status-code=\"\"/>"})
        EXPECT_FALSE(ReadVersionReply(text).hasStatus) << text;
}

TEST(Rollout, BucketIsTheDigestsFirstFourBytesModulo100)
{
    const wchar_t guid[] = L"3F2504E0-4F89-11D3-9A0C-0305E82C3301"; // hashed in lower case
    EXPECT_EQ(37, RolloutBucket(guid, L"2.2.0.1"));                 // 930d2721...
    EXPECT_EQ(92, RolloutBucket(guid, L"2.2.0.2"));                 // fce661f8...
    EXPECT_EQ(1, RolloutBucket(guid, L"版本3"));                    // a4cad421...
    EXPECT_EQ(0, RolloutBucket(L"", L"2.2.0.1")) << "a machine whose identity cannot be read";
}
