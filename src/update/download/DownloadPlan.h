#pragma once
// Everything a package download needs, planned from a judged offer before
// its worker starts: where the package comes from and where it goes, how the
// network is reached, and what the package must be.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/network/NetworkRoute.h"
#include "update/record/UpdateRecord.h"
#include "update/trust/Offer.h"
#include "update/trust/PackageVerifier.h"

struct DownloadPlan
{
    std::wstring url;
    // The working folder (support/WorkingFolder.h) followed by the offer's
    // file name; the partial file is this followed by ".downloading".
    std::wstring packagePath;
    // The file name is a plain one that keeps the package inside the
    // working folder, and there is one.
    bool plainPackageName = false;
    NetworkRoute route;
    // What the offer says the package is.
    PackageVerifier verifier;
    // The offer's mirrors, tried in turn after `url`.
    std::vector<std::wstring> mirrors;
    // How far this machine's clock was ahead of the update server's when
    // the check was answered; nothing without a check or a Date.
    std::optional<int64_t> clockAhead;
    // The offer names a SHA-256: bytes from one address may be continued
    // at another, since what they make is checked whole at the end.
    bool identityChecked = false;
};

// Plans the download of an offer this build may take (JudgeOffer) along the
// system's route; what it checks is logged.
DownloadPlan PlanDownload(const Offer& offer);

// The record the Download page reads (a launcher may have prepared it, or
// anybody changed it since the check) judged again, with this build's key
// and the installed client's version, before anything is fetched; logged.
OfferJudgement JudgeRecordedOffer(const UpdateRecord& record);
