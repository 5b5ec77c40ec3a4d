// The routines that read XML: the version reply (alone, and stored as the
// record over a prepared settings file), "netsetting.xml", and the package
// checks the reply carries.
#include <windows.h>

#include <cstring>

#include "fuzz/Routines.h"

#include "support/Utf8.h"
#include "update/record/IniText.h"
#include "update/record/LiveUpdateIni.h"
#include "update/record/UpdateRecord.h"
#include "update/check/NetSetting.h"
#include "update/trust/PackageChecks.h"
#include "update/check/VersionReply.h"

namespace
{
const char kSignature[] = "MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
                          "Te55Z4Y8cvIHGKAFoOQ=";
const char kSha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Reply(const std::string& status, const std::string& children)
{
    return "<response status-code=\"" + status + "\">" + children + "</response>";
}

std::string Element(const std::string& name, const std::string& text)
{
    return "<" + name + ">" + text + "</" + name + ">";
}

const std::vector<std::string>& ReplySeeds()
{
    static const std::vector<std::string> seeds = {
        Reply("1", Element("newversionname", "Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88") +
                       Element("newversion", "3.0.0.0") +
                       Element("downloadurl", "https://updates.example.com/packages/QoraSetup-3.0.exe") +
                       Element("size", "1048576") + Element("sha256", kSha256) +
                       Element("signature", kSignature) +
                       Element("desc", "Line one\nLine two \xF0\x9F\x98\x80")),
        Reply("1", Element("NEWVERSION", "4") +
                       Element("downloadurl", "http://h/get?file=a.exe&amp;desc=full") +
                       Element("desc", "<![CDATA[<!DOCTYPE html>notes\ndesc = inner\n[X]\r\nk=v]]>")),
        Reply("0", Element("newversion", "9")),
        "<!-- c --><r status-code=' 1x'><newversion>&#x33;.0</newversion><!-- <!DOCTYPE --></r>",
    };
    return seeds;
}

// Deep nesting, huge attributes, many children, DTD and entity tricks,
// values the record cannot carry, and checks of every malformed kind.
std::string ReplyExtreme(Generator& random)
{
    const size_t n = 1 + random.Size(100 * 1000);
    const std::string value = random.Pick(
        std::vector<std::string>{std::string(n, 'x'), Repeat("\n", n), Repeat("&#13;&#10;", n / 10 + 1),
                                 " a ", "\"q\"", "'", "a&#13;b", "&#xD800;", "&#0;", "&#x1A;",
                                 Repeat("desc = \n[X]\n", n / 12 + 1), Repeat("\xE4\xB8\xAD", n / 3 + 1)});
    switch (random.Below(8))
    {
        case 0:
            return Reply("1", Repeat("<n>", n / 3) + Repeat("</n>", n / 3));
        case 1:
            return "<r status-code=\"1\" a=\"" + std::string(n, 'a') + "\"/>";
        case 2:
            return Reply("1", Repeat("<newversion/>", n / 13 + 1) + Element("desc", "d"));
        case 3:
            return random.Pick(std::vector<std::string>{
                "<!DOCTYPE r [<!ENTITY a \"" + std::string(n, 'a') + "\">]>" + Reply("1", "&a;"),
                "<!DOCTYPE r SYSTEM \"file:///c:/windows/win.ini\"><r status-code=\"1\"/>",
                "<!-- a --><!DOCTYPE r><r status-code=\"1\"/>", "<?xml version=\"1.0\"?>" + Reply("1", ""),
                Reply("1", "<!ENTITY x \"y\">"), Reply("1", Element("desc", "<![CDATA[<!DOCTYPE x>]]>"))});
        case 4:
            return Reply(random.Pick(std::vector<std::string>{"1", "2", "-1", "99999999999", " 1", ""}),
                         Element(random.Pick(std::vector<std::string>{"newversionname", "newversion",
                                                                      "downloadurl", "desc"}),
                                 value));
        case 5:
            return Reply("1", Element("size", random.Pick(std::vector<std::string>{
                                                  "0", "18446744073709551615", "18446744073709551616", "-1",
                                                  "1e9", std::string(n, '9')})));
        case 6:
            return Reply(
                "1", Element("sha256", random.Pick(std::vector<std::string>{
                                           std::string(kSha256).substr(1), std::string(kSha256) + "0",
                                           "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855",
                                           std::string(64, 'g')})));
        default:
            return Reply(
                "1", Element("signature",
                             random.Pick(std::vector<std::string>{
                                 std::string(kSignature).substr(4), "QUJD", "====", Repeat("QUJD", n / 4 + 1),
                                 " \n" + std::string(kSignature), std::string(kSignature) + "\r\n\t"})));
    }
}

std::wstring DecodeBody(const std::string& body)
{
    // As the check worker takes a body: up to its first zero, then decoded.
    std::wstring text;
    Utf8ToWide(text, body.data(), strnlen(body.data(), body.size()));
    return text;
}

VersionReply ReadAndCheckReply(const std::string& body, ReplyVerdict& verdict, Checker& check)
{
    const VersionReply reply = ReadVersionReply(DecodeBody(body));
    verdict = JudgeVersionReply(reply);
    const UpdateRecord& record = reply.record;
    check.Expect(record.signature.find_first_of(L" \t\r\n") == std::wstring::npos,
                 "white space in the signature");
    check.Expect(verdict != ReplyVerdict::Current || reply.status == 0,
                 "a status other than 0 judged current");
    if (verdict == ReplyVerdict::NewVersion && reply.status == 1)
        check.Expect(RecordFitsItsReaders(record), "an offer judged usable that does not fit its readers");
    return reply;
}

std::vector<std::wstring> ReadEntries(const std::vector<IniName>& names, int capacity)
{
    ProbeIniEncoding();
    std::vector<std::wstring> values;
    for (const IniName& name : names)
        values.push_back(ReadIniValue(name, capacity));
    return values;
}

bool IsRecordEntry(const IniName& pair)
{
    for (const wchar_t* key : {L"newversionname", L"newversion", L"downloadurl", L"size", L"sha256",
                               L"signature", L"desc", L"mirror1", L"mirror2", L"mirror3", L"mirror4"})
    {
        if (SameIniName(pair.section, L"Update") && SameIniName(pair.key, key))
            return true;
    }
    return false;
}

// After a reply was read (and its record perhaps written): a file that was
// not written is as it was; a written one reads back the record whole, and
// every value the readers saw before the same.
void CheckRecord(const std::string& prepared, const std::vector<IniName>& pairs,
                 const std::vector<std::wstring>& before, const VersionReply& reply, bool offered,
                 bool recorded, Checker& check, const wchar_t* path)
{
    const UpdateRecord& record = reply.record;
    if (!recorded)
    {
        check.Expect(ReadInputFile(path) == prepared, "a file not written changed");
        check.Expect(!offered ||
                         Utf8(PlaceUpdateRecord(DecodeIniText(prepared), record)).size() > kMaxIniFileBytes,
                     "a record that fits was not written");
        return;
    }
    const std::string bytes = ReadInputFile(path);
    check.Expect(bytes.size() >= kIniFileBlockBytes, "the file is shorter than its block");
    ProbeIniEncoding();
    check.Expect(g_bIniIsUtf8, "the written file is not probed as UTF-8");
    const std::pair<const wchar_t*, const std::wstring*> keys[] = {
        {L"newversionname", &record.name}, {L"newversion", &record.version},
        {L"downloadurl", &record.url},     {L"size", &record.size},
        {L"sha256", &record.sha256},       {L"signature", &record.signature}};
    for (const auto& key : keys)
    {
        const std::vector<std::wstring> value = ReadEntries({{L"Update", key.first}}, 2048);
        check.Expect(value[0] == *key.second, "\"" + Utf8(key.first) + "\" reads back changed");
    }
    const UpdateRecord back = ParseUpdateRecord(DecodeIniText(bytes));
    check.Expect(back.desc == record.desc + L"\r\n", "the description reads back changed");
    check.Expect(back.mirrors == record.mirrors, "the mirrors read back changed");
    // What the platform's reader made of a UTF-16 file of odd length depends
    // on a byte beyond its end (see the settings-file routine).
    if (IsUtf16WithMark(prepared) && prepared.size() % 2 == 1)
        return;
    const std::vector<std::wstring> after = ReadEntries(pairs, static_cast<int>(prepared.size() + 2));
    for (size_t i = 0; i < pairs.size(); ++i)
        check.Expect(IsRecordEntry(pairs[i]) || after[i] == before[i],
                     "[" + Utf8(pairs[i].section) + "] " + Utf8(pairs[i].key) + " changed");
}

// The record stored over a prepared settings file (none when that part is
// empty). Only reading, judging and writing count against the time bound.
void RunRecord(const std::string& input, Checker& check, const FuzzPlaces& places)
{
    std::string body, prepared;
    Split(input, body, prepared);
    const wchar_t* path = places.iniPath.c_str();
    std::vector<IniName> pairs;
    std::vector<std::wstring> before;
    check.Untimed(
        [&]
        {
            if (prepared.empty())
                ::DeleteFileW(path);
            else
                WriteInputFile(path, prepared);
            pairs = IniEntryNames(DecodeIniText(prepared), 12, true);
            before = ReadEntries(pairs, static_cast<int>(prepared.size() + 2));
        });
    ReplyVerdict verdict = ReplyVerdict::Current;
    const VersionReply reply = ReadAndCheckReply(body, verdict, check);
    const bool offered = verdict == ReplyVerdict::NewVersion && reply.status == 1;
    const bool recorded = offered && WriteUpdateRecord(path, reply.record);
    check.Untimed([&] { CheckRecord(prepared, pairs, before, reply, offered, recorded, check, path); });
}

std::string IniExtremeOrNothing(Generator& random)
{
    return random.Percent(20) ? std::string() : IniExtreme(random);
}

const std::vector<std::string>& NetSettingSeeds()
{
    static const std::vector<std::string> seeds = {
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<NetSetting>\r\n  <Dispatch "
        "ip=\"updates.example.com\" "
        "default_port=\"8080\" ssl=\"1\">\r\n    <TestPort port=\"443\" ssl=\"1\"/>\r\n    <testport "
        "port=\"80\" "
        "ssl=\"0\"/>\r\n  </Dispatch>\r\n</NetSetting>\r\n",
        "<r><!-- <!DOCTYPE r> --><DISPATCH ip=\"h\" default_port=\" 42x\"><x><TestPort "
        "port=\"1\"/></x></DISPATCH>"
        "<Dispatch ip=\"second\"/></r>",
    };
    return seeds;
}

std::string NetSettingExtreme(Generator& random)
{
    const size_t n = 1 + random.Size(100 * 1000);
    std::string document;
    switch (random.Below(4))
    {
        case 0:
            document = "<r><Dispatch ip=\"h\">" +
                       Repeat("<TestPort port=\"1\" ssl=\"0\">t</TestPort>", n / 40 + 1) + "</Dispatch></r>";
            break;
        case 1:
            document = "<r><Dispatch ip=\"" + std::string(n, 'h') + "\" default_port=\"" +
                       std::string(n % 40, '9') + "\"/>" + Repeat("<n>", n % 500) + Repeat("</n>", n % 500) +
                       "</r>";
            break;
        case 2:
            document = random.Pick(std::vector<std::string>{
                "<!DOCTYPE r [<!ENTITY e \"h\">]><r><Dispatch ip=\"&e;\"/></r>",
                "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///c:/windows/win.ini\">]><r><Dispatch "
                "ip=\"&e;\"/></r>",
                "<r><Dispatch ip=\"h\"><![CDATA[<!DOCTYPE r>]]></Dispatch></r>",
                "<?xml version=\"1.0\" encoding=\"GBK\"?><r><Dispatch ip=\"\xD6\xD0\"/></r>"});
            break;
        default:
            document = "<r>" + Repeat("<Dispatch ip=\"h\"/>", n / 20 + 1) + "</r>";
            break;
    }
    return AnyEncoding(random, document);
}

void RunNetSetting(const std::string& input, Checker& check)
{
    WriteInputFile(kNetSettingFileName, input);
    std::wstring server;
    DispatchPortList ports;
    LoadNetSetting(server, ports);
    check.Expect(server.empty() || !ports.empty(), "a server without its default port");
    // The same document without a byte-order mark or a declared encoding
    // reads the same in UTF-16.
    if (input.find("encoding") != std::string::npos || input.compare(0, 3, "\xEF\xBB\xBF") == 0 ||
        !IsStrictUtf8(input) || input.find('\0') != std::string::npos)
        return;
    WriteInputFile(kNetSettingFileName, Utf16(input, false, true));
    std::wstring server16;
    DispatchPortList ports16;
    LoadNetSetting(server16, ports16);
    bool same = server16 == server && ports16.size() == ports.size();
    for (size_t i = 0; same && i < ports.size(); ++i)
        same = ports[i].port == ports16[i].port && ports[i].ssl == ports16[i].ssl;
    check.Expect(same, "the document reads otherwise in UTF-16");
}

void RunChecks(const std::string& input, Checker& check)
{
    std::wstring text;
    Utf8ToWide(text, input.data(), input.size());
    uint64_t size = 0;
    if (ParsePackageSize(text, size))
    {
        const std::wstring digits = text.substr(std::min(text.find_first_not_of(L'0'), text.size()));
        check.Expect(std::to_wstring(size) == digits, "a size that is not the number written");
    }
    std::array<BYTE, 32> digest{};
    if (ParseSha256Hex(text, digest))
    {
        std::wstring hex;
        for (BYTE b : digest)
            hex += {L"0123456789abcdef"[b >> 4], L"0123456789abcdef"[b & 15]};
        check.Expect(SameIniName(hex, text), "a digest that is not the one written");
    }
    std::array<BYTE, 64> raw{};
    if (ParseSignatureText(text, raw))
    {
        bool rZero = true, sZero = true;
        for (size_t i = 0; i < 32; ++i)
        {
            rZero = rZero && raw[i] == 0;
            sZero = sZero && raw[32 + i] == 0;
        }
        check.Expect(!rZero && !sZero, "a signature with a zero half");
        check.Expect(WithoutWhiteSpace(text).find_first_not_of(
                         L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
                         std::wstring::npos,
                     "a signature that is not base64");
    }
}
} // namespace

void AddDocumentRoutines(std::vector<Routine>& routines, const FuzzPlaces& places)
{
    routines.push_back({"reply", ReplySeeds(), ReplyExtreme,
                        [](const std::string& input, Checker& check)
                        {
                            ReplyVerdict verdict = ReplyVerdict::Current;
                            ReadAndCheckReply(input, verdict, check);
                        }});

    std::vector<std::string> recordSeeds;
    for (const std::string& reply : ReplySeeds())
    {
        recordSeeds.push_back(Join(reply, ""));
        recordSeeds.push_back(
            Join(reply, "[Run]\r\nfrom=1\r\n[Update]\r\nnewversion=2\r\ndesc=old\r\nold two\r\n"));
    }
    routines.push_back(
        {"record", recordSeeds,
         [](Generator& random) { return Join(ReplyExtreme(random), IniExtremeOrNothing(random)); },
         [places](const std::string& input, Checker& check) { RunRecord(input, check, places); }});

    routines.push_back({"netsetting", NetSettingSeeds(), NetSettingExtreme, RunNetSetting});

    routines.push_back({"checks",
                        {"1048576", kSha256, kSignature, "007"},
                        [](Generator& random)
                        {
                            return random.Pick(std::vector<std::string>{
                                std::string(20, '9'), std::string(64, 'F'),
                                " " + std::string(kSignature) + "\n", Repeat("QUJD", random.Size(30000)),
                                "MA==", "MAYCAQECAQE=", "MAYCAQACAQE="});
                        },
                        RunChecks});
}
