// The routines that read the version reply: alone, and stored as the record
// over a prepared settings file.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "fuzz/CheckRoutine.h"
#include "fuzz/PlainXml.h"
#include "fuzz/Routines.h"

#include "support/Utf8.h"
#include "update/record/IniText.h"
#include "update/record/LiveUpdateIni.h"
#include "update/record/UpdateRecord.h"
#include "update/trust/PackageChecks.h"
#include "update/check/VersionReply.h"
#include "update/trust/Offer.h"

namespace
{

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
                       Element("mirror", "https://mirror.example.com/pub/QoraSetup-3.0.exe") +
                       Element("size", "1048576") + Element("sha256", kSeedSha256) +
                       Element("signature", kSeedSignature) +
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
    const size_t shape = random.Below(8);
    switch (shape)
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
        {
            const std::string status =
                random.Pick(std::vector<std::string>{"1", "2", "-1", "99999999999", " 1", ""});
            return Reply(status,
                         Element(random.Pick(std::vector<std::string>{"newversionname", "newversion",
                                                                      "downloadurl", "mirror", "desc"}),
                                 value));
        }
        case 5:
            return Reply("1", Element("size", random.Pick(std::vector<std::string>{
                                                  "0", "18446744073709551615", "18446744073709551616", "-1",
                                                  "1e9", std::string(n, '9')})));
        case 6:
            return Reply(
                "1", Element("sha256", random.Pick(std::vector<std::string>{
                                           std::string(kSeedSha256).substr(1), std::string(kSeedSha256) + "0",
                                           "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855",
                                           std::string(64, 'g')})));
        default:
            return Reply("1", Element("signature", random.Pick(std::vector<std::string>{
                                                       std::string(kSeedSignature).substr(4), "QUJD",
                                                       "====", Repeat("QUJD", n / 4 + 1),
                                                       " \n" + std::string(kSeedSignature),
                                                       std::string(kSeedSignature) + "\r\n\t"})));
    }
}

const char kReplyStatus[] = "the status as MSXML reads it";
const char kStatus0[] = "status 0", kStatus1[] = "status 1", kOtherStatus[] = "another status";
const char kMustOffer[] = "must offer", kMustRefuse[] = "must refuse";
const char kOfferedUnwritten[] = "offered, not written", kOfferedFits[] = "offered, fits";
const char kWritten[] = "written";
const char kReplyValues[] = "status 1: the seven values and the mirrors as MSXML reads them";
const char kReplyVerdict[] = "status 1: plain values offered, a broken line or check refused";
const char kRecordUnwritten[] = "a record not written leaves the file's bytes as they were";
const char kRecordFits[] = "an offer whose file stays far below the readers' bound is written";
const char kRecordBack[] = "a written record reads back whole, by the platform's reader and the pages'";
const char kRecordOthers[] = "a written record leaves every other value as the readers saw it";

std::wstring DecodeBody(const std::string& body)
{
    // As the check worker takes a body: up to its first zero, then decoded.
    std::wstring text;
    Utf8ToWide(text, body.data(), strnlen(body.data(), body.size()));
    return text;
}

// An address the platform's URL parser takes as http or https to a host of
// letters, digits, dots and dashes: one the link may hand to the shell. The
// scheme's own text is compared too: Wine's parser takes a prefix of a
// scheme's name ("h://") for the scheme.
bool NamesAWebHost(const std::wstring& url)
{
    wchar_t scheme[16] = {}, host[256] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = 15;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    return ::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) &&
           (_wcsicmp(scheme, L"http") == 0 || _wcsicmp(scheme, L"https") == 0) && host[0] &&
           std::all_of(host, host + wcslen(host),
                       [](wchar_t c) { return iswalnum(c) || c == L'.' || c == L'-'; });
}

// The text after an address's last "/", in lower case.
std::wstring LastSegmentLower(const std::wstring& url)
{
    std::wstring segment = url.substr(url.find_last_of(L'/') + 1);
    for (wchar_t& c : segment)
        c = static_cast<wchar_t>(towlower(c));
    return segment;
}

bool StartsWithWebScheme(const std::wstring& url)
{
    return _wcsnicmp(url.c_str(), L"http://", 7) == 0 || _wcsnicmp(url.c_str(), L"https://", 8) == 0;
}

// Whether values read by MSXML call for an offer (plain text that fits, any
// check well formed, web addresses of one file), for a refusal (a line break
// or zero in a one-line value, a malformed check, an address or mirror of
// another scheme), or for neither with certainty.
std::optional<bool> OfferCalledFor(const PlainReply& plain)
{
    bool fits = true;
    for (size_t i = 0; i < 7; ++i)
    {
        const std::wstring& value = plain.values[i];
        const bool oneLine = i < 6;
        if (oneLine && value.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos)
            return false;
        const size_t most = i == 2 ? 1023 : i == 6 ? 60000 : 255;
        fits = fits && value.size() <= most &&
               std::all_of(value.begin(), value.end(),
                           [](wchar_t c) { return (c >= 0x20 && c < 0x7F) || c == L'\r' || c == L'\n'; });
    }
    // The record holds four mirrors, each on a line of its own.
    if (plain.mirrors.size() > 4 ||
        std::any_of(plain.mirrors.begin(), plain.mirrors.end(),
                    [](const std::wstring& m)
                    { return m.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos; }))
        return false;
    if ((!plain.values[3].empty() && !SizeWritten(plain.values[3])) ||
        (!plain.values[4].empty() && !DigestWritten(plain.values[4])) ||
        (!plain.values[5].empty() && !SignatureWritten(plain.values[5])))
        return false;
    const std::wstring& url = plain.values[2];
    if ((!url.empty() && !StartsWithWebScheme(url)) ||
        std::any_of(plain.mirrors.begin(), plain.mirrors.end(),
                    [](const std::wstring& m) { return !StartsWithWebScheme(m); }))
        return false;
    const bool mirrorsOfIt = std::all_of(plain.mirrors.begin(), plain.mirrors.end(),
                                         [&](const std::wstring& m)
                                         {
                                             return m.size() <= 1023 && NamesAWebHost(m) &&
                                                    !LastSegmentLower(m).empty() &&
                                                    LastSegmentLower(m) == LastSegmentLower(url);
                                         });
    return fits && mirrorsOfIt && (url.empty() || NamesAWebHost(url)) ? std::optional<bool>(true)
                                                                      : std::nullopt;
}

// `offered`: a status-1 reply whose offer a build without the publisher's
// key takes.
VersionReply ReadAndCheckReply(const std::string& body, bool& offered, Checker& check)
{
    const std::wstring text = DecodeBody(body);
    const VersionReply reply = ReadVersionReply(text);
    offered = reply.status == 1 && JudgeOffer(reply.record, OfferContext()).verdict == OfferVerdict::Take;
    check.Untimed(
        [&]
        {
            const std::optional<PlainReply> read = ReadReplyPlainly(text);
            if (!read)
                return;
            const PlainReply& plain = *read;
            check.Expect(kReplyStatus,
                         plain.status == 0   ? kStatus0
                         : plain.status == 1 ? kStatus1
                                             : kOtherStatus,
                         reply.status == plain.status,
                         "status " + std::to_string(reply.status) + ", MSXML reads " +
                             std::to_string(plain.status));
            if (plain.status != 1)
                return;
            const UpdateRecord& record = reply.record;
            const std::wstring* values[] = {&record.name,   &record.version,   &record.url, &record.size,
                                            &record.sha256, &record.signature, &record.desc};
            for (size_t i = 0; i < 7; ++i)
                check.Expect(kReplyValues, kStatus1, *values[i] == plain.values[i],
                             "value " + std::to_string(i) + " reads \"" + Utf8(values[i]->substr(0, 40)) +
                                 "\", MSXML \"" + Utf8(plain.values[i].substr(0, 40)) + "\"");
            check.Expect(kReplyValues, kStatus1, record.mirrors == plain.mirrors,
                         std::to_string(record.mirrors.size()) + " mirrors read, MSXML " +
                             std::to_string(plain.mirrors.size()));
            if (const std::optional<bool> offer = OfferCalledFor(plain))
                check.Expect(kReplyVerdict, *offer ? kMustOffer : kMustRefuse, offered == *offer,
                             *offer ? "a plain offer refused" : "an offer the record cannot carry accepted");
        });
    return reply;
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

bool SameRecord(const UpdateRecord& a, const UpdateRecord& b)
{
    return a.name == b.name && a.version == b.version && a.url == b.url && a.size == b.size &&
           a.sha256 == b.sha256 && a.signature == b.signature && a.desc == b.desc && a.mirrors == b.mirrors;
}

// After a reply was read (and its record perhaps written): a file that was
// not written is as it was; a written one reads back the record whole
// through the platform's reader, and every value the readers saw before the
// same.
void CheckRecord(const std::string& prepared, const std::vector<IniName>& pairs,
                 const std::vector<std::wstring>& before, const VersionReply& reply, bool offered,
                 bool recorded, Checker& check, const FuzzPlaces& places)
{
    const UpdateRecord& record = reply.record;
    const wchar_t* path = places.iniPath.c_str();
    // Every byte of the file at most three in UTF-8, the record's own lines
    // and their names well within the margin.
    const size_t recordUnits = record.name.size() + record.version.size() + record.url.size() +
                               record.size.size() + record.sha256.size() + record.signature.size() +
                               record.desc.size();
    if (offered && 3 * (prepared.size() + recordUnits) + 1024 <= kMaxIniFileBytes)
        check.Expect(kRecordFits, kOfferedFits, recorded, "a record that fits was not written");
    // Only where the writer was called and declined can it have touched the file.
    if (offered && !recorded)
        return check.Expect(kRecordUnwritten, kOfferedUnwritten, ReadInputFile(path) == prepared,
                            "a file not written changed");
    if (!recorded)
        return;
    const std::string bytes = ReadInputFile(path);
    ProbeIniEncoding();
    std::vector<IniName> names = {{L"Update", L"newversionname"}, {L"Update", L"newversion"},
                                  {L"Update", L"downloadurl"},    {L"Update", L"size"},
                                  {L"Update", L"sha256"},         {L"Update", L"signature"}};
    std::vector<const std::wstring*> values = {&record.name, &record.version, &record.url,
                                               &record.size, &record.sha256,  &record.signature};
    for (size_t i = 0; i < record.mirrors.size(); ++i)
    {
        names.push_back({L"Update", L"mirror" + std::to_wstring(i + 1)});
        values.push_back(&record.mirrors[i]);
    }
    const std::vector<std::wstring> read = PlatformReads(places.sidePath, MarkedUtf8(bytes), names, 2048);
    // The pages' reader gives the record as it was stored, the description
    // with the line break that ends it.
    UpdateRecord stored = record;
    stored.desc += L"\r\n";
    std::string why = !g_bIniIsUtf8                             ? "the written file is not probed as UTF-8"
                      : bytes.size() < kIniFileBlockBytes       ? "the file is shorter than its block"
                      : !SameRecord(ReadUpdateRecord(), stored) ? "the pages read back another record"
                                                                : "";
    for (size_t i = 0; i < names.size() && why.empty(); ++i)
        if (read[i] != *values[i])
            why = "\"" + Utf8(names[i].key) + "\" reads back \"" + Utf8(read[i].substr(0, 40)) + "\"";
    check.Expect(kRecordBack, kWritten, why.empty(), why);
    // What the platform's reader made of a UTF-16 file of odd length depends
    // on a byte beyond its end (see the settings-file routine).
    if (pairs.empty() || (IsUtf16WithMark(prepared) && prepared.size() % 2 == 1))
        return;
    const std::vector<std::wstring> after =
        PlatformReads(places.sidePath, MarkedUtf8(bytes), pairs, static_cast<int>(prepared.size() + 2));
    for (size_t i = 0; i < pairs.size(); ++i)
        check.Expect(kRecordOthers, kWritten, IsRecordEntry(pairs[i]) || after[i] == before[i],
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
            // What the readers saw before, as the platform reads the file in
            // the branch its bytes call for.
            if (const std::optional<bool> utf8 = Utf8ByThePlatform(prepared))
            {
                pairs = IniEntryNames(PlatformText(prepared, *utf8), 12, true);
                before = PlatformReads(places.sidePath, *utf8 ? MarkedUtf8(prepared) : prepared, pairs,
                                       static_cast<int>(prepared.size() + 2));
            }
        });
    bool offered = false;
    const VersionReply reply = ReadAndCheckReply(body, offered, check);
    const bool recorded = offered && WriteUpdateRecord(path, reply.record);
    check.Untimed([&] { CheckRecord(prepared, pairs, before, reply, offered, recorded, check, places); });
}

std::string RecordExtreme(Generator& random)
{
    // An offer over a file of the system's code page that grows past the
    // file's bound once it is rewritten in UTF-8: the writer must decline.
    if (random.Percent(10))
        return Join(ReplySeeds()[0],
                    "[Update]\r\nnote=" + Repeat("\xD6\xD0", 300 * 1000 + random.Below(150000)));
    const std::string reply = ReplyExtreme(random);
    if (random.Percent(20))
        return Join(reply, std::string());
    return Join(reply, IniExtreme(random));
}

} // namespace

void AddDocumentRoutines(std::vector<Routine>& routines, const FuzzPlaces& places)
{
    routines.push_back({"reply",
                        ReplySeeds(),
                        ReplyExtreme,
                        [](const std::string& input, Checker& check)
                        {
                            bool offered = false;
                            ReadAndCheckReply(input, offered, check);
                        },
                        {{kReplyStatus, {kStatus0, kStatus1, kOtherStatus}},
                         {kReplyValues, {kStatus1}},
                         {kReplyVerdict, {kMustOffer, kMustRefuse}}}});

    std::vector<std::string> recordSeeds;
    for (const std::string& reply : ReplySeeds())
    {
        recordSeeds.push_back(Join(reply, ""));
        recordSeeds.push_back(
            Join(reply, "[Run]\r\nfrom=1\r\n[Update]\r\nnewversion=2\r\ndesc=old\r\nold two\r\n"));
    }
    routines.push_back({"record",
                        recordSeeds,
                        RecordExtreme,
                        [places](const std::string& input, Checker& check)
                        { RunRecord(input, check, places); },
                        {{kReplyStatus, {kStatus0, kStatus1, kOtherStatus}},
                         {kReplyValues, {kStatus1}},
                         {kReplyVerdict, {kMustOffer, kMustRefuse}},
                         {kRecordUnwritten, {kOfferedUnwritten}},
                         {kRecordFits, {kOfferedFits}},
                         {kRecordBack, {kWritten}},
                         {kRecordOthers, {kWritten}}}});
}
