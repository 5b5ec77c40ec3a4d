#include "update/check/UpdateCheck.h"

#include "framework/InternetException.h"
#include "support/RunLog.h"
#include "support/WebAddress.h"
#include "update/check/Rollout.h"
#include "update/check/VersionReply.h"
#include "update/check/VersionRequest.h"
#include "update/network/LoginPage.h"
#include "update/record/ClientRecord.h"
#include "update/record/Policy.h"

namespace
{
std::wstring DescribeOffer(const UpdateRecord& record)
{
    return L", offered version \"" + record.version + L"\" at " + AddressForLog(record.url) +
           (record.mirrors.empty() ? std::wstring()
                                   : L" and " + std::to_wstring(record.mirrors.size()) + L" mirror(s)");
}

enum class Rollout
{
    Offered,
    NotYet,
    Malformed,
};

// Whether the reply's release is rolled out to this machine; `why` says how
// that was decided when the reply names a share.
Rollout PlaceInRollout(const VersionReply& reply, std::wstring& why)
{
    if (!reply.rollout)
        return Rollout::Offered;
    const std::optional<int> share = ParseRolloutShare(*reply.rollout);
    if (!share)
    {
        why = L"the rollout \"" + *reply.rollout + L"\" is no whole number from 0 to 100";
        return Rollout::Malformed;
    }
    why = L"rollout " + std::to_wstring(*share) + L" %";
    if (ThePolicy().ignoreRollout)
    {
        why += L" ignored by policy (IgnoreRollout)";
        return Rollout::Offered;
    }
    const int bucket = RolloutBucket(ReadMachineGuid(), reply.record.version);
    why += L", this machine's bucket " + std::to_wstring(bucket) +
           (bucket < *share ? L" is below it" : L" is not below it: not offered yet");
    return bucket < *share ? Rollout::Offered : Rollout::NotYet;
}

CheckResult Judge(const VersionReply& reply, CheckFront front, const OfferContext& context)
{
    CheckResult result;
    result.installedVersion = context.installedVersion;
    std::wstring said = L"check: the reply says status-code " + std::to_wstring(reply.status);
    if (reply.status == 0)
    {
        result.outcome = CheckOutcome::Current;
        LogEvent(said + L"; the installed version \"" + context.installedVersion + L"\" is current");
        return result;
    }
    if (reply.status != 1)
    {
        // Nothing in such an answer can be judged: the record it would
        // stand for is whatever an earlier run or anybody left in the file.
        const bool atItsWord = front == CheckFront::Wizard && !context.keyRequired;
        result.outcome = atItsWord ? CheckOutcome::Offer : CheckOutcome::Unusable;
        LogEvent(said + (atItsWord ? L"; the pages show the update record the settings file holds"
                                   : L"; not usable: no offer of it can be judged"));
        return result;
    }
    said += DescribeOffer(reply.record);
    const OfferJudgement judgement = JudgeOffer(reply.record, context);
    switch (judgement.verdict)
    {
        case OfferVerdict::Take:
            break;
        case OfferVerdict::Current:
        case OfferVerdict::Held:
            result.outcome = CheckOutcome::Current;
            LogEvent(said + L"; nothing to do: " + judgement.why);
            return result;
        case OfferVerdict::Refuse:
            result.outcome = CheckOutcome::Unusable;
            LogEvent(said + L"; not usable: " + judgement.why);
            return result;
    }
    std::wstring rolloutWhy;
    switch (PlaceInRollout(reply, rolloutWhy))
    {
        case Rollout::Offered:
            result.outcome = CheckOutcome::Offer;
            result.record = reply.record;
            result.offer = judgement.offer;
            LogEvent(said + L"; taken: " + judgement.why + (rolloutWhy.empty() ? L"" : L"; " + rolloutWhy));
            break;
        case Rollout::NotYet:
            result.outcome = CheckOutcome::Current;
            LogEvent(said + L"; nothing to do: " + rolloutWhy);
            break;
        case Rollout::Malformed:
            result.outcome = CheckOutcome::Unusable;
            LogEvent(said + L"; not usable: " + rolloutWhy);
            break;
    }
    return result;
}

CheckResult CheckOnce(CheckFront front, const SendGate* gate)
{
    if (ThePolicy().updatesDisabled)
    {
        CheckResult result;
        result.installedVersion = ReadInstalledVersion();
        result.outcome = CheckOutcome::SwitchedOff;
        LogEvent(L"check: updates are switched off by policy (UpdatesDisabled): nothing is asked");
        return result;
    }
    const VersionRequest request = PlanVersionCheck();
    std::wstring text;
    try
    {
        text = DecodeVersionReply(FetchVersionReply(request, gate));
    }
    catch (const LoginPageAnswer&)
    {
        CheckResult result;
        result.installedVersion = request.installedVersion;
        result.outcome = CheckOutcome::LoginPage;
        return result;
    }
    catch (const CInternetException&)
    {
        CheckResult result;
        result.installedVersion = request.installedVersion;
        return result;
    }
    if (!request.route.useProxy)
        ::OutputDebugStringW(text.c_str());
    // Judged against the version the server was told of.
    return Judge(ReadVersionReply(text), front, ThisBuildsOfferContext(request.installedVersion));
}
} // namespace

CheckResult CheckForUpdate(CheckFront front, const SendGate* gate)
{
    CheckResult result = CheckOnce(front, gate);
    // Nothing is answered before the gate opens: what ended before then is
    // met again once the user has asked, but for the administrator's word,
    // which was read once at start and stands.
    if (gate && !gate->IsOpen())
    {
        gate->WaitOpen();
        if (result.outcome != CheckOutcome::SwitchedOff)
            result = CheckOnce(front, nullptr);
    }
    return result;
}
