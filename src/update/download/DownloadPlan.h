#pragma once
// Everything a package download needs, planned from the update record before
// its worker starts: where the package comes from and where it goes, how the
// network is reached, and what the package must be.

#include <optional>
#include <string>

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
};

// Plans the download of the record's package along the system's route; the
// checks it asks for are logged.
DownloadPlan PlanDownload(const UpdateRecord& record);
