#include "update/trust/Offer.h"

#include "support/WebAddress.h"
#include "update/record/Policy.h"
#include "update/trust/DottedVersion.h"
#include "update/trust/PackageChecks.h"
#include "update/trust/PackageManifest.h"

namespace
{
// The record's values as typed ones; false, saying which, when one the
// pages, the file or the download could not take whole is given.
bool ReadOffer(const UpdateRecord& record, Offer& offer, std::wstring& why)
{
    if (!RecordFitsItsReaders(record))
    {
        why = L"a value is too long, holds a line break or a zero, or there are too many mirrors";
        return false;
    }
    uint64_t size = 0;
    Sha256Digest sha256{};
    std::array<BYTE, 64> signature{};
    if (!record.size.empty() && !ParsePackageSize(record.size, size))
        why = L"the size \"" + record.size + L"\" is malformed";
    else if (!record.sha256.empty() && !ParseSha256Hex(record.sha256, sha256))
        why = L"the sha256 \"" + record.sha256 + L"\" is malformed";
    else if (!record.signature.empty() && !ParseSignatureText(record.signature, signature))
        why = L"the signature is not base64 of a DER ECDSA signature";
    // The manual-download link hands the address to the shell: a file, a
    // share or another protocol would run there without any check.
    else if (!record.url.empty() && !IsWebAddress(record.url))
        why = L"the download address is no http or https address";
    if (!why.empty())
        return false;
    for (const std::wstring& mirror : record.mirrors)
    {
        if (!IsMirrorOf(mirror, record.url))
        {
            why = L"a mirror is no web address of the same file";
            return false;
        }
    }
    offer.url = record.url;
    offer.fileName = LastUrlSegment(record.url);
    offer.mirrors = record.mirrors;
    offer.name = record.name;
    offer.version = record.version;
    offer.desc = record.desc;
    if (!record.size.empty())
        offer.size = size;
    if (!record.sha256.empty())
        offer.sha256 = sha256;
    if (!record.signature.empty())
        offer.signature = signature;
    if (offer.size && offer.sha256)
        offer.manifest =
            FormatPackageManifest(offer.fileName, offer.version, *offer.size, *offer.sha256).value_or("");
    return true;
}

// What a build with the publisher's key asks beyond the values' forms.
OfferVerdict TrustOffer(const Offer& offer, const OfferContext& context, std::wstring& why)
{
    if (!context.keyRequired)
    {
        why = L"this build has no publisher key: the server's status decides what is newer";
        return OfferVerdict::Take;
    }
    if (!context.key)
        why = L"the build's publisher key cannot be used";
    else if (!offer.size || !offer.sha256 || !offer.signature)
        why = std::wstring(L"the record gives no ") +
              (!offer.size     ? L"size"
               : !offer.sha256 ? L"sha256"
                               : L"signature") +
              L", which this build requires";
    else if (offer.manifest.empty())
        why = L"the package's name or version cannot be put in a manifest";
    if (!why.empty())
        return OfferVerdict::Refuse;
    Sha256 hash;
    hash.Update(offer.manifest.data(), offer.manifest.size());
    if (!hash.IsValid() || !context.key->Verify(hash.Finish(), *offer.signature))
    {
        why = L"the signature does not verify with the publisher's key over the manifest of \"" +
              offer.fileName.substr(0, offer.fileName.find_first_of(L"?#")) + L"\" version \"" +
              offer.version + L"\"";
        return OfferVerdict::Refuse;
    }
    // A signed release stays signed: replayed under its own version, an older
    // one must not pass for an upgrade.
    const std::optional<int> order = CompareDottedVersions(offer.version, context.installedVersion);
    if (!order)
    {
        why = L"the offered version \"" + offer.version + L"\" or the installed version \"" +
              context.installedVersion + L"\" is not dotted numbers";
        return OfferVerdict::Refuse;
    }
    if (*order <= 0)
    {
        why = L"the offered version \"" + offer.version + L"\" is not newer than the installed version \"" +
              context.installedVersion + L"\"";
        return OfferVerdict::Current;
    }
    why = L"the publisher's signature over the manifest verifies, and the version \"" + offer.version +
          L"\" is newer than the installed \"" + context.installedVersion + L"\"";
    return OfferVerdict::Take;
}
} // namespace

OfferContext ThisBuildsOfferContext(const std::wstring& installedVersion)
{
    OfferContext context;
    context.keyRequired = HasEmbeddedPublisherKey();
    if (context.keyRequired)
        context.key = PublisherKey::LoadEmbedded();
    context.installedVersion = installedVersion;
    context.versionPrefix = ThePolicy().versionPrefix;
    return context;
}

OfferJudgement JudgeOffer(const UpdateRecord& record, const OfferContext& context)
{
    OfferJudgement judgement;
    Offer offer;
    if (!ReadOffer(record, offer, judgement.why))
        return judgement;
    judgement.verdict = TrustOffer(offer, context, judgement.why);
    // Only what would be taken is held: a forged offer stays an error and an
    // older one current, whatever their versions.
    if (judgement.verdict == OfferVerdict::Take &&
        offer.version.compare(0, context.versionPrefix.size(), context.versionPrefix) != 0)
    {
        judgement.verdict = OfferVerdict::Held;
        judgement.why = L"held by policy: the version \"" + offer.version +
                        L"\" does not begin with TargetVersionPrefix \"" + context.versionPrefix + L"\"";
    }
    judgement.offer = std::move(offer);
    return judgement;
}
