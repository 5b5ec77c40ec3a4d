// The XML document: children and attributes found as the readers expect,
// every character kept, document type declarations refused, and loads kept
// within their bounds.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "framework/ComPtr.h"
#include "harness/Files.h"
#include "support/XmlDocument.h"

namespace
{
// "中文" and U+1F600, which no ANSI code page holds.
const wchar_t kChineseAndEmoji[] = L"\x4E2D\x6587\xD83D\xDE00";
const char kChineseAndEmojiUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80";

// A folder of the test's own for documents to load from files.
class TempFolder : public harness::TempDir
{
  public:
    TempFolder() : TempDir(L"qvx-xml-") {}
    std::wstring Write(const wchar_t* name, const std::string& bytes) const
    {
        harness::WriteBytes(Path() + name, bytes);
        return Path() + name;
    }
};

std::string Utf16(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text)
    {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

std::string Ascii(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring AttributeOf(const CXmlDocument& document, const XmlNode& node, const char* name)
{
    std::wstring value;
    document.GetAttribute(node, name, value);
    return value;
}

std::wstring NodeName(const XmlNode& node)
{
    BSTR name = nullptr;
    if (!node || FAILED(node->get_nodeName(&name)))
        return L"(none)";
    std::wstring result(name, ::SysStringLen(name));
    ::SysFreeString(name);
    return result;
}

const std::wstring kInternalSubset = L"<!DOCTYPE r [<!ENTITY x \"hello\">]><r>&x;</r>";
const std::wstring kBillionLaughs =
    L"<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
    L"<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
    L"<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
    L"<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
    L"<!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">"
    L"<!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">"
    L"<!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">"
    L"<!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">"
    L"<!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">"
    L"<!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">"
    L"]><lolz>&lol9;</lolz>";

std::wstring ExternalEntity(const std::wstring& url)
{
    return L"<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + L"\">]><r>&x;</r>";
}

std::wstring Nested(int depth, const std::wstring& inner)
{
    std::wstring text;
    for (int i = 0; i < depth; ++i)
        text += L"<n>";
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += L"</n>";
    return text;
}

class XmlDocument : public ::testing::Test
{
  protected:
    ComApartment m_apartment;
    TempFolder m_folder;
};
} // namespace

TEST_F(XmlDocument, FindsDirectChildrenByNameWithoutRegardToCase)
{
    CXmlDocument document;
    ASSERT_TRUE(document.LoadFromText(L"<root>lead<!-- note --><dispatch ip=\"first\">one</dispatch>"
                                      L"<Dispatch ip=\"second\">two</Dispatch><other/>"
                                      L"<nest><Dispatch ip=\"deep\"/></nest></root>"));
    const XmlNode root = document.GetRoot();
    ASSERT_TRUE(root);

    std::wstring text;
    XmlNode found = document.FindChild(root, "Dispatch", text);
    ASSERT_TRUE(found);
    EXPECT_EQ(L"first", AttributeOf(document, found, "ip"));
    EXPECT_EQ(L"one", text);
    found = document.FindChild(root, "DISPATCH", text);
    EXPECT_EQ(L"first", AttributeOf(document, found, "ip"));

    const XmlNodeList all = document.FindChildren(root, "dispatch");
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ(L"first", AttributeOf(document, all[0], "ip"));
    EXPECT_EQ(L"second", AttributeOf(document, all[1], "ip"));

    // Nodes of every type are looked at, not only elements.
    EXPECT_TRUE(document.FindChild(root, "#TEXT", text));
    EXPECT_TRUE(document.FindChild(root, "#comment", text));

    // Misses leave the output alone; names match whole, and only among the
    // node's own children.
    text = L"keep";
    EXPECT_FALSE(document.FindChild(root, "Dispatc", text));
    EXPECT_FALSE(document.FindChild(root, "Dispatch2", text));
    EXPECT_FALSE(document.FindChild(root, "n", text));
    EXPECT_FALSE(document.FindChild(found, "anything", text));
    EXPECT_EQ(L"keep", text);
    EXPECT_TRUE(document.FindChildren(root, "missing").empty());
    EXPECT_EQ(1u, document.FindChildren(document.FindChild(root, "nest", text), "Dispatch").size());

    text = L"keep";
    EXPECT_FALSE(document.FindChild(nullptr, "Dispatch", text));
    EXPECT_EQ(L"keep", text);
    EXPECT_TRUE(document.FindChildren(nullptr, "Dispatch").empty());
}

TEST_F(XmlDocument, FirstMatchWinsWhateverItsNodeType)
{
    CXmlDocument document;
    ASSERT_TRUE(document.LoadFromText(L"<root><?Dispatch target?><Dispatch ip=\"h\"/></root>"));
    std::wstring text;
    const XmlNode first = document.FindChild(document.GetRoot(), "Dispatch", text);
    ASSERT_TRUE(first);
    // A processing instruction is no element, so it has no attributes.
    std::wstring value = L"keep";
    EXPECT_FALSE(document.GetAttribute(first, "ip", value));
    EXPECT_EQ(L"keep", value);
    EXPECT_EQ(2u, document.FindChildren(document.GetRoot(), "Dispatch").size());
}

TEST_F(XmlDocument, MatchesNamesInTheConversionCodePage)
{
    CXmlDocument document;
    ASSERT_TRUE(
        document.LoadFromText(L"<root><\x4E2D\x6587>zh</\x4E2D\x6587><caf\x00E9>fr</caf\x00E9></root>"));
    std::wstring text;
    const UINT acp = ::GetACP();
    if (acp == 936)
    {
        EXPECT_TRUE(document.FindChild(document.GetRoot(), "\xD6\xD0\xCE\xC4", text));
        EXPECT_EQ(L"zh", text);
    }
    else if (acp == 1252)
    {
        EXPECT_TRUE(document.FindChild(document.GetRoot(), "CAF\xE9", text));
        EXPECT_EQ(L"fr", text);
    }
    else
    {
        GTEST_SKIP() << "no expectations for code page " << acp;
    }
}

TEST_F(XmlDocument, ReadsAttributesByExactName)
{
    CXmlDocument document;
    ASSERT_TRUE(document.LoadFromText(L"<root ip=\"h\" empty=\"\" v=\"" + std::wstring(kChineseAndEmoji) +
                                      L" &amp; more\">text</root>"));
    const XmlNode root = document.GetRoot();
    std::wstring value;
    EXPECT_TRUE(document.GetAttribute(root, "ip", value));
    EXPECT_EQ(L"h", value);
    EXPECT_TRUE(document.GetAttribute(root, "v", value));
    EXPECT_EQ(std::wstring(kChineseAndEmoji) + L" & more", value);
    EXPECT_TRUE(document.GetAttribute(root, "empty", value));
    EXPECT_EQ(L"", value);

    // An absent attribute, or one named in another case, leaves the output.
    value = L"keep";
    EXPECT_TRUE(document.GetAttribute(root, "IP", value));
    EXPECT_TRUE(document.GetAttribute(root, "missing", value));
    EXPECT_EQ(L"keep", value);
    // No element, no query.
    std::wstring text;
    EXPECT_FALSE(document.GetAttribute(document.FindChild(root, "#text", text), "ip", value));
    EXPECT_FALSE(document.GetAttribute(nullptr, "ip", value));
    EXPECT_EQ(L"keep", value);
}

TEST_F(XmlDocument, ReadsIntegerAttributesAsAtoiDoes)
{
    CXmlDocument document;
    ASSERT_TRUE(document.LoadFromText(
        L"<r a=\" 42abc\" b=\"\" c=\"-17\" d=\"+5\" e=\"abc\" f=\"&#9;&#10; 8\" g=\"99999999999\""
        L" h=\"-99999999999\" i=\"2147483647\" j=\"-2147483648\" k=\"- 3\" l=\"0x10\" m=\"007\"/>"));
    const XmlNode root = document.GetRoot();
    const struct
    {
        const char* name;
        int expected;
    } cases[] = {{"a", 42},      {"b", 0},       {"c", -17},     {"d", 5}, {"e", 0}, {"f", 8}, {"g", INT_MAX},
                 {"h", INT_MIN}, {"i", INT_MAX}, {"j", INT_MIN}, {"k", 0}, {"l", 0}, {"m", 7}, {"absent", 0}};
    for (const auto& c : cases)
    {
        int value = 12345;
        EXPECT_TRUE(document.GetAttributeInt(root, c.name, value)) << c.name;
        EXPECT_EQ(c.expected, value) << c.name;
    }
    int value = 12345;
    EXPECT_FALSE(document.GetAttributeInt(nullptr, "a", value));
    EXPECT_EQ(12345, value);
}

TEST_F(XmlDocument, EveryLoadReplacesOrEmptiesTheDocument)
{
    CXmlDocument document;
    EXPECT_TRUE(document.IsEmpty());
    EXPECT_FALSE(document.GetRoot());

    ASSERT_TRUE(document.LoadFromText(L"<first/>"));
    const XmlNode first = document.GetRoot();
    ASSERT_TRUE(document.LoadFromText(L"<second/>"));
    const XmlNode second = document.GetRoot();
    ASSERT_TRUE(second);
    EXPECT_EQ(L"second", NodeName(second));
    // A node handed out earlier outlives the document it came from.
    EXPECT_EQ(L"first", NodeName(first));

    const wchar_t* broken[] = {L"<?xml version=\"1.0\"?><?xml version=\"1.0\"?><r/>", L"<r>", L"",
                               L"text only", L"<a/><b/>"};
    for (const wchar_t* text : broken)
    {
        ASSERT_TRUE(document.LoadFromText(L"<ok/>"));
        EXPECT_FALSE(document.LoadFromText(text)) << text;
        EXPECT_TRUE(document.IsEmpty());
        const XmlNode root = document.GetRoot();
        EXPECT_FALSE(root);
        int number = 7;
        EXPECT_FALSE(document.GetAttributeInt(root, "x", number));
        EXPECT_EQ(7, number);
    }

    ASSERT_TRUE(document.LoadFromText(L"<ok/>"));
    EXPECT_FALSE(document.LoadFromFile(m_folder.Path() + L"missing.xml"));
    EXPECT_TRUE(document.IsEmpty());
    ASSERT_TRUE(document.LoadFromText(L"<ok/>"));
    document.Release();
    EXPECT_TRUE(document.IsEmpty());
}

TEST_F(XmlDocument, KeepsEveryCharacterOfTextsAndValues)
{
    const std::wstring text =
        L"<r v=\"" + std::wstring(kChineseAndEmoji) + L"\"><t>" + kChineseAndEmoji + L"</t></r>";
    const std::string utf8 =
        std::string("<r v=\"") + kChineseAndEmojiUtf8 + "\"><t>" + kChineseAndEmojiUtf8 + "</t></r>";
    CXmlDocument document;
    const auto check = [&document](const char* label)
    {
        std::wstring value, content;
        EXPECT_TRUE(document.GetAttribute(document.GetRoot(), "v", value)) << label;
        EXPECT_EQ(kChineseAndEmoji, value) << label;
        EXPECT_TRUE(document.FindChild(document.GetRoot(), "T", content)) << label;
        EXPECT_EQ(kChineseAndEmoji, content) << label;
    };
    ASSERT_TRUE(document.LoadFromText(text));
    check("text");
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"utf8.xml", utf8)));
    check("utf-8");
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"utf8bom.xml", "\xEF\xBB\xBF" + utf8)));
    check("utf-8 with bom");
    ASSERT_TRUE(document.LoadFromFile(
        m_folder.Write(L"decl.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + utf8)));
    check("declared utf-8");
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"le.xml", Utf16(text, false))));
    check("utf-16le");
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"be.xml", Utf16(text, true))));
    check("utf-16be");

    // A file in a declared legacy encoding is decoded by its declaration,
    // whatever the thread's code page.
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(
        L"gbk.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"\xD6\xD0\xCE\xC4\">\xD6\xD0</r>")));
    EXPECT_EQ(L"\x4E2D\x6587", AttributeOf(document, document.GetRoot(), "v"));
}

TEST_F(XmlDocument, RefusesDocumentTypeDeclarationsInText)
{
    const std::wstring secret = m_folder.Write(L"secret.txt", "TOPSECRET");
    std::wstring url = L"file:///" + secret;
    for (wchar_t& c : url)
        c = c == L'\\' ? L'/' : c;
    const std::wstring refused[] = {kInternalSubset, kBillionLaughs, ExternalEntity(url),
                                    L"<!DOCTYPE r SYSTEM \"" + url + L"\"><r/>",
                                    L"<?xml version=\"1.0\"?>\n<!-- x -->\n<!DOCTYPE r><r/>"};
    CXmlDocument document;
    for (const std::wstring& text : refused)
    {
        ASSERT_TRUE(document.LoadFromText(L"<ok/>"));
        EXPECT_FALSE(document.LoadFromText(text)) << text.substr(0, 60);
        EXPECT_TRUE(document.IsEmpty());
    }
}

TEST_F(XmlDocument, RefusesDocumentTypeDeclarationsInFiles)
{
    const std::wstring secret = m_folder.Write(L"secret.txt", "TOPSECRET");
    std::wstring url = L"file:///" + secret;
    for (wchar_t& c : url)
        c = c == L'\\' ? L'/' : c;
    const std::wstring documents[] = {kInternalSubset, kBillionLaughs, ExternalEntity(url)};
    CXmlDocument document;
    for (const std::wstring& text : documents)
    {
        const std::string encodings[] = {Ascii(text), "\xEF\xBB\xBF" + Ascii(text), Utf16(text, false),
                                         Utf16(text, true), Utf16(text, false).substr(2)};
        for (const std::string& bytes : encodings)
        {
            ASSERT_TRUE(document.LoadFromText(L"<ok/>"));
            EXPECT_FALSE(document.LoadFromFile(m_folder.Write(L"dtd.xml", bytes))) << text.substr(0, 60);
            EXPECT_TRUE(document.IsEmpty());
        }
    }
}

TEST_F(XmlDocument, TakesTheDeclarationsCharactersInsideTheDocumentAsText)
{
    const std::wstring text =
        L"<?xml version=\"1.0\"?><!-- <!DOCTYPE r> --><?p <!DOCTYPE?><r a=\"&lt;!DOCTYPE\">"
        L"<d><![CDATA[<!DOCTYPE html>notes]]></d><!-- <!DOCTYPE --></r>";
    CXmlDocument document;
    auto expectLoaded = [&document](const char* form)
    {
        std::wstring desc;
        EXPECT_TRUE(document.FindChild(document.GetRoot(), "d", desc)) << form;
        EXPECT_EQ(L"<!DOCTYPE html>notes", desc) << form;
        EXPECT_EQ(L"<!DOCTYPE", AttributeOf(document, document.GetRoot(), "a")) << form;
    };
    ASSERT_TRUE(document.LoadFromText(text));
    expectLoaded("text");
    const std::string files[] = {Ascii(text), "\xEF\xBB\xBF" + Ascii(text), Utf16(text, false),
                                 Utf16(text, true), Utf16(text, false).substr(2)};
    for (const std::string& bytes : files)
    {
        ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"cdata.xml", bytes))) << bytes.size();
        expectLoaded("file");
    }
}

TEST_F(XmlDocument, LoadsFilesWithinTheirBounds)
{
    CXmlDocument document;
    EXPECT_FALSE(document.LoadFromFile(m_folder.Write(L"empty.xml", "")));
    EXPECT_FALSE(document.LoadFromFile(m_folder.Path()));
    EXPECT_FALSE(document.LoadFromFile(m_folder.Write(L"broken.xml", "<r><a></r>")));

    // Several megabytes load in full.
    std::string big = "<r>";
    for (int i = 0; big.size() < 5 * 1024 * 1024; ++i)
        big += "<e n=\"" + std::to_string(i) + "\">" + std::string(100, 'x') + "</e>";
    big += "<last n=\"end\"/></r>";
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"big.xml", big)));
    std::wstring ignored;
    EXPECT_EQ(L"end", AttributeOf(document, document.FindChild(document.GetRoot(), "last", ignored), "n"));

    // Beyond the bound nothing is parsed.
    std::string huge = "<r>" + std::string(kMaxXmlFileBytes, ' ') + "</r>";
    EXPECT_FALSE(document.LoadFromFile(m_folder.Write(L"huge.xml", huge)));
    EXPECT_TRUE(document.IsEmpty());

    // Sane nesting loads; a runaway depth fails instead of exhausting the
    // stack.
    ASSERT_TRUE(document.LoadFromFile(m_folder.Write(L"nested.xml", Ascii(Nested(200, L"<x v=\"1\"/>")))));
    EXPECT_FALSE(document.LoadFromFile(m_folder.Write(L"deep.xml", Ascii(Nested(100000, L"")))));
    EXPECT_FALSE(document.LoadFromText(Nested(100000, L"")));
    EXPECT_TRUE(document.IsEmpty());
}
