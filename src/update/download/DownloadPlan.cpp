#include "update/download/DownloadPlan.h"

#include "support/RunLog.h"
#include "support/WebAddress.h"
#include "support/WorkingFolder.h"
#include "update/download/PackageName.h"
#include "update/network/ServerClock.h"
#include "update/record/ClientRecord.h"
#include "update/trust/Authenticode.h"

DownloadPlan PlanDownload(const Offer& offer)
{
    LogEvent(std::wstring(L"verify: the offer names ") + (offer.size ? L"a size, " : L"no size, ") +
             (offer.sha256 ? L"a SHA-256, " : L"no SHA-256, ") +
             (offer.signature ? L"a signature" : L"no signature"));
    DownloadPlan plan{offer.url,
                      WorkingFolder() + offer.fileName,
                      false,
                      ReadNetworkRoute(),
                      PackageVerifier(offer.size, offer.sha256, PinnedSignerThumbprints()),
                      offer.mirrors,
                      ClockAheadOfServer(),
                      offer.sha256.has_value()};
    // Without a working folder the name would be taken in the current one.
    const std::wstring folder = WorkingFolder();
    plan.plainPackageName = !folder.empty() && IsUsablePackageName(folder, offer.fileName);
    return plan;
}

OfferJudgement JudgeRecordedOffer(const UpdateRecord& record)
{
    OfferJudgement judgement = JudgeOffer(record, ThisBuildsOfferContext(ReadInstalledVersion()));
    LogEvent(L"download: the recorded offer of version \"" + record.version + L"\" at " +
             AddressForLog(record.url) +
             (judgement.verdict == OfferVerdict::Take   ? L" is taken: "
              : judgement.verdict == OfferVerdict::Held ? L" is "
                                                        : L" is refused: ") +
             judgement.why);
    return judgement;
}
