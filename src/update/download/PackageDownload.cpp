#include "update/download/PackageDownload.h"

#include "support/RunLog.h"
#include "update/download/PackageDownloader.h"

DWORD RetryDelayMs(int retry)
{
    if (retry < 1)
        return 0;
    return 1000u << (retry > kMaxDownloadRetries ? kMaxDownloadRetries - 1 : retry - 1);
}

DownloadOutcome DownloadPackage(DownloadPlan& plan, DownloadListener& listener, FileHandle& package)
{
    LogEvent(L"download: " + plan.url + L" to " + plan.packagePath + L", " + DescribeRoute(plan.route) +
             L", stall time " + std::to_wstring(plan.route.stallMs / 1000) + L" s");
    // A name from the server that is not a plain file name could put the
    // package outside the temporary folder: it is refused like any name the
    // file system refuses.
    if (!plan.plainPackageName)
    {
        LogEvent(L"download: the address's last segment is not a usable file name");
        return DownloadOutcome::CannotCreateFile;
    }
    if (!plan.verifier)
        return DownloadOutcome::Rejected;
    PackageDownloader downloader(plan, *plan.verifier, listener);
    return downloader.Run(package);
}
