#include "update/download/PackageDownload.h"

#include "support/RunLog.h"
#include "support/WebAddress.h"
#include "update/download/PackageDownloader.h"

DownloadOutcome DownloadPackage(DownloadPlan& plan, DownloadListener& listener, FileHandle& package)
{
    LogEvent(L"download: " + AddressForLog(plan.url) +
             (plan.plainPackageName ? L" to " + plan.packagePath : std::wstring()) + L", " +
             DescribeRoute(plan.route) + L", stall time " + std::to_wstring(plan.route.stallMs / 1000) +
             L" s");
    // A name from the server that is not a plain file name could put the
    // package outside the temporary folder: it is refused like any name the
    // file system refuses.
    if (!plan.plainPackageName)
    {
        LogEvent(L"download: the address's last segment is not a usable file name");
        return DownloadOutcome::CannotCreateFile;
    }
    PackageDownloader downloader(plan, plan.verifier, listener);
    return downloader.Run(package);
}
