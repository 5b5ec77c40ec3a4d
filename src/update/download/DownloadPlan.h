#pragma once
// Everything a package download needs, planned from the update record before
// its worker starts: where the package comes from and where it goes, how the
// network is reached, and what the package must be.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/network/NetworkRoute.h"
#include "update/record/UpdateRecord.h"
#include "update/trust/PackageVerifier.h"

struct DownloadPlan
{
    std::wstring url;
    // The working folder (support/WorkingFolder.h) followed by the address's
    // last segment; the partial file is this followed by ".downloading".
    std::wstring packagePath;
    // The last segment is a plain file name that keeps the package inside the
    // working folder, and there is one.
    bool plainPackageName = false;
    NetworkRoute route;
    // What the record and the build ask of the package; nothing when the
    // record's checks are malformed.
    std::optional<PackageVerifier> verifier;
    // The record's mirrors that may stand for the package (IsMirrorOf),
    // tried in turn after `url`.
    std::vector<std::wstring> mirrors;
    // How far this machine's clock was ahead of the update server's when
    // the check was answered; nothing without a check or a Date.
    std::optional<int64_t> clockAhead;
    // The record names a SHA-256: bytes from one address may be continued
    // at another, since what they make is checked whole at the end.
    bool identityChecked = false;
};

// Plans the download of the record's package along the system's route; the
// checks it asks for, and mirrors left out, are logged.
DownloadPlan PlanDownload(const UpdateRecord& record);
