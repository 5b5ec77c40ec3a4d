#include "update/download/PackageNaming.h"

#include "support/Files.h"
#include "support/RunLog.h"

NamingResult NamePackage(PartialFile& file, const std::wstring& packagePath, const std::wstring& statePath,
                         DownloadListener& listener, FileHandle& package, DWORD& error)
{
    const ULONGLONG start = ::GetTickCount64();
    for (int attempt = 1;; ++attempt)
    {
        bool tried = false;
        if (listener.ClaimPackage(
                [&]
                {
                    tried = true;
                    const bool named = file.RenameAndHold(packagePath, package);
                    error = named ? 0 : ::GetLastError();
                    if (named)
                        ::DeleteFileW(statePath.c_str());
                    return named;
                }))
            return NamingResult::Named;
        if (!tried)
            return NamingResult::Abandoned;
        if (!IsHeldFileError(error) || ::GetTickCount64() - start + kHeldFileRetryMs > kHeldFileRetryLimitMs)
            return NamingResult::Failed;
        LogEvent(L"download: naming the package, attempt " + std::to_wstring(attempt) +
                 L": another program holds it, error " + DescribeError(error) + L"; trying again in " +
                 std::to_wstring(kHeldFileRetryMs) + L" ms");
        if (!listener.Pause(kHeldFileRetryMs))
            return NamingResult::Abandoned;
    }
}
