// How a download run ends: the complete package checked, named and held,
// or the bytes held kept for a later run or removed. The tries themselves are
// in PackageDownloader.cpp.
#include "update/download/PackageDownloader.h"

#include "support/Files.h"
#include "support/RunLog.h"
#include "update/download/ResumeState.h"

namespace
{
enum class NamingResult
{
    Named,     // `package` holds the package at its path; the installation is claimed
    Abandoned, // the wizard was left meanwhile
    Failed,    // the system's error says why
};

// Renames `file` to `packagePath` and holds it (PartialFile::RenameAndHold)
// under the listener's claim, so that no Cancel falls between the two,
// removing `statePath` once it is named. Security software often holds a
// new program for seconds while it scans it: the step is then tried again.
NamingResult NamePackage(PartialFile& file, const std::wstring& packagePath, const std::wstring& statePath,
                         DownloadListener& listener, FileHandle& package, DWORD& error)
{
    bool left = false;
    error = RetryWhileHeld(
        [&]() -> DWORD
        {
            DWORD failed = 0;
            bool tried = false;
            if (listener.ClaimPackage(
                    [&]
                    {
                        tried = true;
                        const bool named = file.RenameAndHold(packagePath, package);
                        failed = named ? 0 : ::GetLastError();
                        if (named)
                            ::DeleteFileW(statePath.c_str());
                        return named;
                    }))
                return 0;
            left = !tried;
            return tried ? failed : ERROR_CANCELLED;
        },
        [&](int attempt, DWORD failed, DWORD waitMs)
        {
            LogEvent(L"download: naming the package, attempt " + std::to_wstring(attempt) +
                     L": another program holds it, error " + DescribeError(failed) + L"; trying again in " +
                     std::to_wstring(waitMs) + L" ms");
            left = !listener.Pause(waitMs);
            return !left;
        });
    return left ? NamingResult::Abandoned : error == 0 ? NamingResult::Named : NamingResult::Failed;
}
} // namespace

DownloadOutcome PackageDownloader::Finish(FileHandle& package)
{
    m_listener.SetCancelCheckpoint(nullptr);
    // Nothing that fails a check is run or kept.
    PartialFile& file = m_bytes.File();
    if (m_bytes.Held() != m_bytes.Total() || !m_verifier.Finish() ||
        !m_verifier.AcceptsAuthenticode(file.Handle(), file.Path()))
    {
        LogEvent(L"download: the package is refused and deleted");
        file.Close();
        m_listener.ChangeFiles([&] { m_bytes.Drop(); });
        return DownloadOutcome::Rejected;
    }
    DWORD error = 0;
    const NamingResult named = NamePackage(file, m_plan.packagePath, ResumeStatePath(m_plan.packagePath),
                                           m_listener, package, error);
    if (named == NamingResult::Named)
    {
        LogEvent(L"download: the package is complete and held at " + m_plan.packagePath);
        return DownloadOutcome::Complete;
    }
    file.Close();
    if (named == NamingResult::Abandoned)
    {
        // A name taken before the Cancel is nothing the frame knows of.
        if (file.Path() == m_plan.packagePath)
            ::DeleteFileW(m_plan.packagePath.c_str());
        return GiveUp(DownloadOutcome::Abandoned);
    }
    // Held beyond every retry, or gone after it was checked: security
    // software that holds or quarantines new programs.
    const bool blocked =
        IsHeldFileError(error) || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    LogEvent(L"download: the package could not take its name and be held, error " + DescribeError(error) +
             (blocked ? L": another program holds or removed it" : L""));
    m_listener.ChangeFiles(
        [&]
        {
            DiscardPartialDownload(m_plan.packagePath);
            ::DeleteFileW(m_plan.packagePath.c_str());
        });
    return blocked ? DownloadOutcome::Blocked : DownloadOutcome::Failed;
}

DownloadOutcome PackageDownloader::GiveUp(DownloadOutcome outcome)
{
    m_listener.SetCancelCheckpoint(nullptr);
    // After a confirmed Cancel the frame has decided what stays.
    m_listener.ChangeFiles(
        [&]
        {
            // What arrived stays for the next run, when a next run can trust it.
            const bool keep = m_bytes.Held() > 0 && !m_bytes.Validator().empty() &&
                              outcome != DownloadOutcome::CannotCreateFile;
            if (keep)
            {
                m_bytes.Checkpoint();
                LogEvent(L"download: " + std::to_wstring(m_bytes.Held()) + L" of " +
                         std::to_wstring(m_bytes.Total()) + L" bytes kept for the next run");
            }
            m_bytes.File().Close();
            if (!keep && (m_accepted || outcome != DownloadOutcome::CannotCreateFile))
                m_bytes.Drop();
        });
    m_bytes.File().Close();
    return outcome;
}

DownloadOutcome PackageDownloader::AfterDiskFull()
{
    m_listener.SetCancelCheckpoint(nullptr);
    // Kept, the partial file would fill the disk again at the next run.
    const uint64_t total = m_bytes.Total();
    if (!m_listener.ChangeFiles([&] { m_bytes.Drop(); }))
        return GiveUp(DownloadOutcome::Abandoned);
    LogEvent(L"download: the disk is full; the partial file and its state are removed");
    m_listener.OnNoSpace(total, FreeSpaceBeside(m_bytes.File().Path()).value_or(0));
    return GiveUp(DownloadOutcome::NoSpace);
}
