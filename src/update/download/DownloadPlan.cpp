#include "update/download/DownloadPlan.h"

#include "support/WorkingFolder.h"
#include "support/RunLog.h"
#include "update/download/PackageName.h"
#include "update/network/ServerClock.h"
#include "update/trust/Authenticode.h"
#include "update/trust/PublisherKey.h"

namespace
{
std::optional<PackageVerifier> MakeVerifier(const UpdateRecord& record)
{
    PackageExpectation expected;
    std::wstring problem;
    if (!ParsePackageExpectation(record.size, record.sha256, record.signature, expected, problem))
    {
        LogEvent(L"verify: " + problem);
        return std::nullopt;
    }
    const bool keyRequired = HasEmbeddedPublisherKey();
    LogEvent(std::wstring(L"verify: ") +
             (keyRequired ? L"this build requires the publisher's signature"
                          : L"this build has no publisher key") +
             L"; the record gives " + (expected.size ? L"a size, " : L"no size, ") +
             (expected.sha256 ? L"a SHA-256, " : L"no SHA-256, ") +
             (expected.signature ? L"a signature" : L"no signature"));
    return PackageVerifier(expected, keyRequired, keyRequired ? PublisherKey::LoadEmbedded() : std::nullopt,
                           PinnedSignerThumbprints());
}
} // namespace

DownloadPlan PlanDownload(const UpdateRecord& record)
{
    DownloadPlan plan;
    plan.url = record.url;
    const std::wstring folder = WorkingFolder();
    const std::wstring segment = LastUrlSegment(record.url);
    plan.packagePath = folder + segment;
    // Without a working folder the name would be taken in the current one.
    plan.plainPackageName = !folder.empty() && IsUsablePackageName(folder, segment);
    plan.route = ReadNetworkRoute();
    plan.clockAhead = ClockAheadOfServer();
    plan.identityChecked = !record.sha256.empty();
    if (record.url.empty())
        return plan;
    // A launcher may have written the record: what the check refuses is
    // left out here.
    for (const std::wstring& mirror : record.mirrors)
    {
        if (IsMirrorOf(mirror, record.url))
            plan.mirrors.push_back(mirror);
        else
            LogEvent(L"download: the mirror " + mirror +
                     L" is not the package's address elsewhere; left out");
    }
    if (std::optional<PackageVerifier> verifier = MakeVerifier(record))
        plan.verifier.emplace(std::move(*verifier));
    return plan;
}
