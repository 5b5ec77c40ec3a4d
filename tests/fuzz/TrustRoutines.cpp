// What a keyed build's trust rests on: the manifest formed from a reply's
// record, which the publisher signs, and the order of dotted versions.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <vector>

#include "fuzz/Routines.h"
#include "support/Utf8.h"
#include "support/WebAddress.h"
#include "update/check/VersionReply.h"
#include "update/trust/DottedVersion.h"
#include "update/trust/Offer.h"
#include "update/trust/PackageManifest.h"

namespace
{
std::string OfferReply(const std::string& version)
{
    return "<r status-code=\"1\"><newversion>" + version +
           "</newversion><downloadurl>https://h/a.exe</downloadurl>"
           "<size>007</size><sha256>" +
           std::string(64, 'E') + "</sha256></r>";
}

const char kManifestLines[] = "a manifest is the record's values, a line each, or refused with a reason";
const char kVersionBothWays[] = "two versions compare the same both ways round";
const char kVersionZero[] = "a zero component added at the end changes nothing";
const char kVersionNumbers[] = "versions of numbers below 10^18 compare as the numbers they write";

// Exactly the record's values, a line each: no value adds or hides a line.
void RunManifest(const std::string& input, Checker& check)
{
    std::wstring text;
    Utf8ToWide(text, input.data(), strnlen(input.data(), input.size()));
    const UpdateRecord record = ReadVersionReply(text).record;
    const OfferJudgement judgement = JudgeOffer(record, OfferContext());
    check.Untimed(
        [&]
        {
            if (!judgement.offer)
            {
                check.Expect(kManifestLines, !judgement.why.empty(), "refused without a reason");
                return;
            }
            const std::string& manifest = judgement.offer->manifest;
            if (manifest.empty())
                return;
            const std::string head = std::string(kManifestHeading) +
                                     "\nname=" + Utf8(LastUrlSegment(record.url)) +
                                     "\nversion=" + Utf8(record.version) + "\nsize=";
            check.Expect(kManifestLines,
                         manifest.compare(0, head.size(), head) == 0 &&
                             std::count(manifest.begin(), manifest.end(), '\n') == 5 &&
                             manifest.size() - manifest.find("\nsha256=") == 73,
                         "a manifest of other lines");
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
            check.Expect(kVersionBothWays,
                         order.has_value() == reverse.has_value() && (!order || *order == -*reverse),
                         "not antisymmetric");
            if (order && !a.empty())
                check.Expect(kVersionZero, CompareDottedVersions(a + L".0", b) == order,
                             "a zero changes the order");
            const auto x = Numbers(a), y = Numbers(b);
            if (x && y)
            {
                const int expected = *x < *y ? -1 : *y < *x ? 1 : 0;
                check.Expect(kVersionNumbers, order == expected,
                             "compared as " + std::to_string(order.value_or(9)));
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
                        {kManifestLines}});
    routines.push_back({"version",
                        {Join("3.0.0.0", "2.1"), Join("", "1"), Join("010.2", "10.2.0")},
                        [](Generator& random) { return Join(Repeat("9.", random.Size(99999)) + "9", "9"); },
                        RunVersions,
                        {kVersionBothWays, kVersionZero, kVersionNumbers}});
}
