// What a keyed build's trust rests on: the manifest formed from a reply's
// record, which the publisher signs, and the order of dotted versions.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <vector>

#include "fuzz/CheckRoutine.h"
#include "fuzz/Routines.h"
#include "support/Utf8.h"
#include "update/check/VersionReply.h"
#include "update/trust/DottedVersion.h"
#include "update/trust/Offer.h"

namespace
{
std::string OfferReply(const std::string& version)
{
    return "<r status-code=\"1\"><newversion>" + version +
           "</newversion><downloadurl>https://h/a.exe</downloadurl>"
           "<size>007</size><sha256>" +
           std::string(64, 'E') + "</sha256></r>";
}

const char kManifestLines[] = "the manifest is the record's values, a line each, and the offer is refused "
                              "exactly when one is malformed";
const char kVersionBothWays[] = "two versions compare the same both ways round";
const char kVersionZero[] = "a zero component added at the end changes nothing";
const char kVersionNumbers[] =
    "versions of numbers below 10^18 compare as the numbers they write, others not at all";
const char kMade[] = "made", kRefusedOffer[] = "refused";
const char kComparable[] = "comparable", kOlder[] = "older", kSame[] = "the same", kNewer[] = "newer",
           kNoNumbers[] = "not numbers";

bool OneLine(const std::wstring& value, size_t most)
{
    return value.size() <= most &&
           std::all_of(value.begin(), value.end(), [](wchar_t c) { return c >= 0x20 && c < 0x7F; });
}

// What the record's values call for, decided from their texts alone: a
// refusal (a check given but malformed, a line break or zero in a one-line
// value, an address of another scheme), a manifest (plain values that fit,
// an address of the web, a size and a SHA-256), or neither for certain.
enum class Expected
{
    Refusal,
    Manifest,
    Unsure
};

Expected ExpectedOf(const UpdateRecord& record)
{
    for (const std::wstring* value :
         {&record.name, &record.version, &record.url, &record.size, &record.sha256, &record.signature})
        if (value->find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos)
            return Expected::Refusal;
    if ((!record.size.empty() && !SizeWritten(record.size)) ||
        (!record.sha256.empty() && !DigestWritten(record.sha256)) ||
        (!record.signature.empty() && !SignatureWritten(record.signature)) ||
        (!record.url.empty() && _wcsnicmp(record.url.c_str(), L"http://", 7) != 0 &&
         _wcsnicmp(record.url.c_str(), L"https://", 8) != 0))
        return Expected::Refusal;
    const bool plain = !record.url.empty() && OneLine(record.name, 255) && OneLine(record.version, 255) &&
                       OneLine(record.url, 1023) && record.mirrors.empty() && record.desc.size() < 1000 &&
                       record.url.find_first_of(L"/\\", 8) != std::wstring::npos &&
                       iswalnum(record.url[record.url.find(L"://") + 3]);
    return plain && !record.size.empty() && !record.sha256.empty() ? Expected::Manifest : Expected::Unsure;
}

// The manifest of the record's values as the publisher writes it: its own
// heading, the name after the address's last "/", the size's digits without
// leading zeros, the digest in lower case.
std::string ManifestOf(const UpdateRecord& record)
{
    std::string size = Utf8(record.size);
    size.erase(0, std::min(size.find_first_not_of('0'), size.size() - 1));
    std::string digest = Utf8(record.sha256);
    for (char& c : digest)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "QVXLiveUpdate package manifest 1\nname=" + Utf8(record.url.substr(record.url.rfind(L'/') + 1)) +
           "\nversion=" + Utf8(record.version) + "\nsize=" + size + "\nsha256=" + digest + "\n";
}

void RunManifest(const std::string& input, Checker& check)
{
    std::wstring text;
    Utf8ToWide(text, input.data(), strnlen(input.data(), input.size()));
    const UpdateRecord record = ReadVersionReply(text).record;
    const OfferJudgement judgement = JudgeOffer(record, OfferContext());
    check.Untimed(
        [&]
        {
            const Expected expected = ExpectedOf(record);
            const std::string manifest = judgement.offer ? judgement.offer->manifest : std::string();
            if (!manifest.empty())
                check.Expect(kManifestLines, kMade,
                             expected != Expected::Refusal && manifest == ManifestOf(record),
                             expected == Expected::Refusal ? "a malformed record made a manifest"
                                                           : "a manifest of other lines");
            else if (!judgement.offer)
                check.Expect(kManifestLines, kRefusedOffer, expected != Expected::Manifest,
                             "a plain record refused: " + Utf8(judgement.why));
            else if (expected == Expected::Manifest)
                check.Expect(kManifestLines, kMade, false,
                             "a plain record with a size and a digest made no manifest");
        });
}

// The numbers each component writes, when every one is plain digits below
// 10^18; nothing otherwise.
std::optional<std::vector<unsigned long long>> Numbers(const std::wstring& text)
{
    std::vector<unsigned long long> numbers;
    size_t start = 0;
    while (start < text.size())
    {
        const size_t end = std::min(text.find(L'.', start), text.size());
        const std::wstring part = text.substr(start, end - start);
        if (part.empty() || part.size() > 18 || part.find_first_not_of(L"0123456789") != std::wstring::npos)
            return std::nullopt;
        numbers.push_back(std::wcstoull(part.c_str(), nullptr, 10));
        if (end + 1 == text.size())
            return std::nullopt; // a dot at the end
        start = end + 1;
    }
    while (!numbers.empty() && numbers.back() == 0)
        numbers.pop_back();
    return numbers;
}

void RunVersions(const std::string& input, Checker& check)
{
    std::string first, second;
    Split(input, first, second);
    std::wstring a, b;
    Utf8ToWide(a, first.data(), first.size());
    Utf8ToWide(b, second.data(), second.size());
    const std::optional<int> order = CompareDottedVersions(a, b), reverse = CompareDottedVersions(b, a);
    check.Untimed(
        [&]
        {
            if (order || reverse)
                check.Expect(kVersionBothWays, kComparable,
                             order.has_value() == reverse.has_value() && (!order || *order == -*reverse),
                             "not antisymmetric");
            if (order && !a.empty())
                check.Expect(kVersionZero, kComparable, CompareDottedVersions(a + L".0", b) == order,
                             "a zero changes the order");
            const auto x = Numbers(a), y = Numbers(b);
            const auto numbersOnly = [](const std::wstring& v)
            { return v.find_first_not_of(L"0123456789.") == std::wstring::npos; };
            if (x && y)
            {
                const int expected = *x < *y ? -1 : *y < *x ? 1 : 0;
                check.Expect(kVersionNumbers,
                             expected < 0   ? kOlder
                             : expected > 0 ? kNewer
                                            : kSame,
                             order == expected, "compared as " + std::to_string(order.value_or(9)));
            }
            else if (!numbersOnly(a) || !numbersOnly(b))
            {
                check.Expect(kVersionNumbers, kNoNumbers, !order, "a text of other characters compared");
            }
        });
}
} // namespace

void AddTrustRoutines(std::vector<Routine>& routines)
{
    routines.push_back({"manifest",
                        {OfferReply("3.0.0.0")},
                        [](Generator& random)
                        { return OfferReply(Repeat("3&#10;\xE4\xB8\xAD", random.Size(99999))); },
                        RunManifest,
                        {{kManifestLines, {kMade, kRefusedOffer}}}});
    routines.push_back({"version",
                        {Join("3.0.0.0", "2.1"), Join("", "1"), Join("010.2", "10.2.0")},
                        [](Generator& random) { return Join(Repeat("9.", random.Size(99999)) + "9", "9"); },
                        RunVersions,
                        {{kVersionBothWays, {kComparable}},
                         {kVersionZero, {kComparable}},
                         {kVersionNumbers, {kOlder, kSame, kNewer, kNoNumbers}}}});
}
