// What a keyed build's trust rests on: the manifest formed from a reply's
// record, which the publisher signs, and the order of dotted versions.
#include <algorithm>
#include <cstring>

#include "fuzz/Routines.h"
#include "support/Utf8.h"
#include "update/check/DottedVersion.h"
#include "update/check/VersionReply.h"
#include "update/download/PackageName.h"
#include "update/trust/PackageManifest.h"

namespace
{
std::string Offer(const std::string& version)
{
    return "<r status-code=\"1\"><newversion>" + version +
           "</newversion><downloadurl>https://h/a.exe</downloadurl>"
           "<size>007</size><sha256>" +
           std::string(64, 'E') + "</sha256></r>";
}

// Exactly the record's values, a line each: no value adds or hides a line.
void RunManifest(const std::string& input, Checker& check)
{
    std::wstring text, problem;
    Utf8ToWide(text, input.data(), strnlen(input.data(), input.size()));
    const UpdateRecord record = ReadVersionReply(text).record;
    const std::optional<std::string> manifest = RecordManifest(record, problem);
    check.Expect(manifest || !problem.empty(), "no manifest and no reason");
    const std::string head = std::string(kManifestHeading) + "\nname=" + Utf8(LastUrlSegment(record.url)) +
                             "\nversion=" + Utf8(record.version) + "\nsize=";
    check.Expect(!manifest || (manifest->compare(0, head.size(), head) == 0 &&
                               std::count(manifest->begin(), manifest->end(), '\n') == 5 &&
                               manifest->size() - manifest->find("\nsha256=") == 73),
                 "a manifest of other lines");
}

// Antisymmetric, and blind to a zero component added at the end.
void RunVersions(const std::string& input, Checker& check)
{
    std::string first, second;
    Split(input, first, second);
    std::wstring a, b;
    Utf8ToWide(a, first.data(), first.size());
    Utf8ToWide(b, second.data(), second.size());
    const std::optional<int> order = CompareDottedVersions(a, b), reverse = CompareDottedVersions(b, a);
    check.Expect(order.has_value() == reverse.has_value() && (!order || *order == -*reverse),
                 "not antisymmetric");
    check.Expect(!order || a.empty() || CompareDottedVersions(a + L".0", b) == order,
                 "a zero changes the order");
}
} // namespace

void AddTrustRoutines(std::vector<Routine>& routines)
{
    routines.push_back({"manifest",
                        {Offer("3.0.0.0")},
                        [](Generator& random)
                        { return Offer(Repeat("3&#10;\xE4\xB8\xAD", random.Size(99999))); },
                        RunManifest});
    routines.push_back({"version",
                        {Join("3.0.0.0", "2.1"), Join("", "1"), Join("010.2", "10.2.0")},
                        [](Generator& random) { return Join(Repeat("9.", random.Size(99999)) + "9", "9"); },
                        RunVersions});
}
