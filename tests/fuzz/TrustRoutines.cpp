// The text forms a keyed build's trust rests on: the manifest formed from a
// reply's record, which the publisher's signature covers, and the order of
// dotted versions that refuses a replayed older release.
#include <windows.h>

#include <cstring>

#include "fuzz/Routines.h"

#include "support/Utf8.h"
#include "update/check/DottedVersion.h"
#include "update/check/VersionReply.h"
#include "update/download/PackageName.h"
#include "update/trust/PackageChecks.h"
#include "update/trust/PackageManifest.h"

namespace
{
const char kSha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Offer(const std::string& version, const std::string& url, const std::string& size,
                  const std::string& sha256)
{
    return "<response status-code=\"1\"><newversion>" + version + "</newversion><downloadurl>" + url +
           "</downloadurl><size>" + size + "</size><sha256>" + sha256 + "</sha256></response>";
}

// The lines of a formed manifest, each read back against the record: no
// value can add or hide a line.
void RunManifest(const std::string& input, Checker& check)
{
    std::wstring text;
    Utf8ToWide(text, input.data(), strnlen(input.data(), input.size()));
    const UpdateRecord record = ReadVersionReply(text).record;
    std::wstring problem;
    const std::optional<std::string> manifest = RecordManifest(record, problem);
    uint64_t size = 0;
    std::array<BYTE, 32> digest{};
    const bool checks = ParsePackageSize(record.size, size) && ParseSha256Hex(record.sha256, digest);
    const std::wstring name = LastUrlSegment(record.url);
    check.Expect(!manifest || checks, "a manifest without a size and a SHA-256");
    check.Expect(manifest || !problem.empty(), "no manifest and no reason");
    const auto printable = [](const std::wstring& value)
    {
        for (wchar_t c : value)
            if (c < 0x20 || c > 0x7E)
                return false;
        return true;
    };
    check.Expect(manifest || !checks || name.empty() || !printable(name) || !printable(record.version),
                 "no manifest of plain values");
    if (!manifest)
        return;
    const std::string expected = std::string(kManifestHeading) + "\nname=" + Utf8(name) +
                                 "\nversion=" + Utf8(record.version) + "\nsize=" + std::to_string(size) +
                                 "\nsha256=" + Utf8(HexOfDigest(digest)) + "\n";
    check.Expect(*manifest == expected, "the manifest is not the record's values line by line");
    size_t lines = 0;
    for (char c : *manifest)
        lines += c == '\n';
    check.Expect(lines == 5 && manifest->find('\r') == std::string::npos, "a manifest of other lines");
}

// Antisymmetric, and blind to zero components added at the end.
void RunVersions(const std::string& input, Checker& check)
{
    std::string first, second;
    Split(input, first, second);
    std::wstring a, b;
    Utf8ToWide(a, first.data(), first.size());
    Utf8ToWide(b, second.data(), second.size());
    const std::optional<int> order = CompareDottedVersions(a, b), reverse = CompareDottedVersions(b, a);
    check.Expect(order.has_value() == reverse.has_value(), "judged one way only");
    check.Expect(!order || *order == -*reverse, "not antisymmetric");
    check.Expect(!order || (*order >= -1 && *order <= 1), "an order beyond -1..1");
    if (!order)
        return;
    check.Expect(CompareDottedVersions(a, a) == 0, "a version unequal to itself");
    if (!a.empty())
        check.Expect(CompareDottedVersions(a + L".0", b) == order, "a zero component changes the order");
}
} // namespace

void AddTrustRoutines(std::vector<Routine>& routines)
{
    routines.push_back(
        {"manifest",
         {Offer("3.0.0.0", "https://updates.example.com/packages/QoraSetup-3.0.exe", "1048576", kSha256),
          Offer("3.1", "http://h/get?file=a.exe&amp;v=2", "007",
                "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855")},
         [](Generator& random)
         {
             const size_t n = 1 + random.Size(100 * 1000);
             return Offer(random.Pick(std::vector<std::string>{"3.0&#10;size=1", "&#13;", std::string(n, '9'),
                                                               "\xE4\xB8\xAD", "&#xD800;", ""}),
                          random.Pick(std::vector<std::string>{"http://h/", "http://h/a&#10;b.exe", "x.exe",
                                                               "http://h/" + std::string(n, 'a')}),
                          random.Pick(std::vector<std::string>{"0", "18446744073709551615", "1 ", "+1"}),
                          random.Pick(std::vector<std::string>{kSha256, std::string(64, 'G'), ""}));
         },
         RunManifest});
    routines.push_back({"version",
                        {Join("3.0.0.0", "2.1"), Join("", "1"), Join("010.2", "10.2.0")},
                        [](Generator& random)
                        {
                            const size_t n = 1 + random.Size(kMaxInputBytes / 4);
                            return Join(
                                random.Pick(std::vector<std::string>{std::string(n, '9'), Repeat("0.", n),
                                                                     Repeat("1.", n) + "1", "."}),
                                random.Pick(std::vector<std::string>{std::string(n, '0'), "", "3..0"}));
                        },
                        RunVersions});
}
