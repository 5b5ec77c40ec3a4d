#pragma once
// What the update server offers, read once into a type and judged in one
// place: whether this build may act on it at all. The check judges the
// server's reply with it, and the download judges again the record it reads,
// which a launcher may have prepared or anybody may have changed since.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Sha256.h"
#include "update/record/UpdateRecord.h"
#include "update/trust/PublisherKey.h"

struct Offer
{
    std::wstring url;      // "downloadurl": a web address, or empty
    std::wstring fileName; // its last segment: the package's name, and the manifest's
    std::vector<std::wstring> mirrors;
    std::wstring name, version, desc;
    std::optional<uint64_t> size;
    std::optional<Sha256Digest> sha256;
    std::optional<std::array<BYTE, 64>> signature; // r||s
    // The text the publisher signs (PackageManifest.h); empty without a size
    // and a SHA-256, or when the name or version cannot be put in one.
    std::string manifest;
};

enum class OfferVerdict
{
    Take,    // this build may download and run what it names
    Current, // a signed release that is not newer than the installed one: nothing to do
    Held,    // one this build would take, outside the version line the policy holds to: nothing to do
    Refuse,  // malformed, unsigned or forged: an error
};

// What an offer is weighed against.
struct OfferContext
{
    // The build embeds a publisher key; `key` is that key, or nothing when
    // it cannot be used (then nothing passes).
    bool keyRequired = false;
    std::optional<PublisherKey> key;
    // The installed client's version, from its uninstall record.
    std::wstring installedVersion;
    // The version line the administrator's policy holds the machine to
    // (TargetVersionPrefix); empty holds none.
    std::wstring versionPrefix;
};

// This build's key, the installed client's version as the Welcome page
// reads it (ReadInstalledVersion) or as the check sent it, and the policy's
// version line.
OfferContext ThisBuildsOfferContext(const std::wstring& installedVersion);

struct OfferJudgement
{
    OfferVerdict verdict = OfferVerdict::Refuse;
    // What was read; nothing when the record's values or addresses are refused.
    std::optional<Offer> offer;
    // For the log: what refused it, why there is nothing to do, or on what
    // grounds it is taken.
    std::wstring why;
};

// The one judgement of an offer. Refused: a value the pages could only show
// cut or the file could not carry (RecordFitsItsReaders); a size, SHA-256 or
// signature given but malformed; a download address given that is no web
// address; a mirror that is not IsMirrorOf the address. In a build with the
// publisher's key also: no usable key; no size, SHA-256 or signature; a
// manifest that cannot be formed or that the signature does not cover; a
// version or installed version that is not dotted numbers. A signed offer
// whose version is not newer than the installed one is Current. A build
// without the key leaves "newer" to the server. What would be taken is Held
// when its version does not begin with the context's versionPrefix.
OfferJudgement JudgeOffer(const UpdateRecord& record, const OfferContext& context);
