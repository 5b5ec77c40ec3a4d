#include "application/UnattendedRun.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>

#include "application/ParentConsole.h"
#include "application/RunDeadline.h"
#include "pages/WorkerLink.h"
#include "support/RunLog.h"
#include "support/WorkingFolder.h"
#include "update/check/UpdateCheck.h"
#include "update/download/PackageDownload.h"
#include "update/download/ResumeState.h"
#include "update/install/ClientProcess.h"
#include "update/install/Installer.h"
#include "update/record/LiveUpdateIni.h"

namespace
{
// A client of several processes is ended one process at a time; one that
// comes back this often is not going away.
const int kMaxClientCloses = 8;

struct RunState
{
    // What the deadline ends the run with now, and what it reports; written
    // under the link's exclusion, which the deadline takes.
    UnattendedExit atDeadline = UnattendedExit::CheckFailed;
    std::wstring installedVersion;
    std::wstring offeredVersion;
    std::wstring packagePath, url;          // the download's, once it has begun
    std::optional<DWORD> installerExitCode; // once the installer has ended
    // The deadline stops the run through it as a confirmed Cancel stops the
    // wizard's download, until the package is claimed for the installer.
    WorkerLink link{nullptr, nullptr};

    void Set(const std::function<void()>& change) { link.RunUnlessAbandoned(change); }
};

// Nobody watches: the download shows nothing and waits out every retry,
// unless the deadline has come.
class QuietDownload : public DownloadListener
{
  public:
    explicit QuietDownload(WorkerLink& link) : m_link(link) {}
    bool OnBytes(uint64_t, uint64_t) override { return !m_link.IsAbandoned(); }
    bool OnRetryWait(DWORD waitMs, int, int) override { return m_link.Wait(waitMs); }
    void OnResumed(uint64_t, uint64_t) override {}
    bool ChangeFiles(const std::function<void()>& change) override
    {
        return m_link.RunUnlessAbandoned(change);
    }
    void SetCancelCheckpoint(std::function<void()> checkpoint) override
    {
        m_link.SetAbandonHook(std::move(checkpoint));
    }
    bool ClaimPackage(const std::function<bool()>& takeName) override
    {
        return m_link.TryBeginInstall(takeName);
    }
    bool Pause(DWORD ms) override { return m_link.Wait(ms); }

  private:
    WorkerLink& m_link;
};

const wchar_t* OutcomeText(UnattendedExit exit)
{
    switch (exit)
    {
        case UnattendedExit::Installed:
            return L"installed";
        case UnattendedExit::Current:
            return L"already current";
        case UnattendedExit::ClientRunning:
            return L"the client is running, nothing was installed";
        case UnattendedExit::CheckFailed:
            return L"the check failed";
        case UnattendedExit::DownloadFailed:
            return L"the download or a package check failed";
        case UnattendedExit::NotStarted:
            return L"the package could not be started";
        case UnattendedExit::AnotherInstance:
            return L"another instance is running";
        case UnattendedExit::BadCommandLine:
            return L"bad command line";
        case UnattendedExit::InstallerFailed:
            return L"the installer reported a failure or its user's cancel";
        case UnattendedExit::InstallerStillRunning:
            return L"the installer still runs at the deadline and is left running";
        case UnattendedExit::RestartStarted:
            return L"installed, the installer restarts Windows";
        case UnattendedExit::RestartRequired:
            return L"installed, Windows must restart";
        case UnattendedExit::NewVersion:
            return L"a newer version is offered";
        case UnattendedExit::SwitchedOff:
            return L"updates are switched off by policy";
        case UnattendedExit::InternalFault:
            return L"internal fault";
    }
    return L"unknown outcome";
}

// What the installer's end means to a script: success, and its two codes of
// a success that needs a restart, pass on as they are; any other code, or its
// word that its user cancelled it, is a failure.
UnattendedExit InstallerVerdict(const InstallReport& report)
{
    if (report.userCancelled)
        return UnattendedExit::InstallerFailed;
    switch (report.exitCode)
    {
        case 0:
            return UnattendedExit::Installed;
        case static_cast<DWORD>(UnattendedExit::RestartStarted):
        case static_cast<DWORD>(UnattendedExit::RestartRequired):
            return static_cast<UnattendedExit>(report.exitCode);
        default:
            return UnattendedExit::InstallerFailed;
    }
}

// The installer step's question, answered without asking: true once no
// client runs; with /closeclient each running client is ended first, the
// same confirmed and waited force close as the close-client dialog's.
bool MakeSureClientIsClosed(bool closeClient)
{
    for (int closes = 0;; ++closes)
    {
        const DWORD processId = FindClientProcess();
        if (processId == kNoClientProcess)
            return true;
        if (!closeClient)
        {
            LogEvent(L"install: the client is running and /closeclient was not given");
            return false;
        }
        if (closes == kMaxClientCloses)
        {
            LogEvent(L"install: the client still runs after " + std::to_wstring(closes) + L" force closes");
            return false;
        }
        const bool ended = TerminateClientProcess(processId);
        LogEvent(L"install: force close of process " + std::to_wstring(processId) +
                 (ended ? L": ended" : L": not ended"));
    }
}

UnattendedExit DownloadAndInstall(const Offer& offer, const CommandLine& options, RunState& state,
                                  const DeadlineWatch& deadline)
{
    if (offer.url.empty())
    {
        LogEvent(L"download: the offer names no package");
        return UnattendedExit::DownloadFailed;
    }
    DownloadPlan plan = PlanDownload(offer);
    state.Set(
        [&]
        {
            state.packagePath = plan.packagePath;
            state.url = plan.url;
        });
    QuietDownload listener(state.link);
    FileHandle package;
    const DownloadOutcome outcome = DownloadPackage(plan, listener, package);
    // No default: a new outcome must be given its exit code here.
    switch (outcome)
    {
        case DownloadOutcome::Complete:
            break;
        case DownloadOutcome::CannotCreateFile:
        case DownloadOutcome::Failed:
        case DownloadOutcome::Rejected:
        case DownloadOutcome::Abandoned:
        case DownloadOutcome::NoSpace:
        case DownloadOutcome::ClockWrong:
            LogEvent(L"download: failed, nothing is installed");
            return UnattendedExit::DownloadFailed;
        case DownloadOutcome::Blocked:
            LogEvent(
                L"download: security software holds or removed the checked package; nothing is installed");
            return UnattendedExit::NotStarted;
    }
    // The package is claimed: from here on the deadline ends the installer's
    // wait, never the run.
    const InstallReport report = RunInstallerStep(
        plan.packagePath, std::move(package), [&] { return MakeSureClientIsClosed(options.closeClient); },
        options.installerArgs, deadline.Left());
    switch (report.result)
    {
        case InstallReport::Installed:
            state.installerExitCode = report.exitCode;
            return InstallerVerdict(report);
        case InstallReport::GivenUp:
            return UnattendedExit::ClientRunning;
        case InstallReport::NotStarted:
            return UnattendedExit::NotStarted;
        case InstallReport::StillRunning:
            return UnattendedExit::InstallerStillRunning;
    }
    return UnattendedExit::NotStarted;
}

UnattendedExit Run(const CommandLine& options, RunState& state, const DeadlineWatch& deadline)
{
    // The offer goes straight to the download: a settings file in the
    // account's profile is no help here, and the local system account's
    // profile has no folder for it.
    const CheckResult check = CheckForUpdate(CheckFront::Unattended);
    state.Set([&] { state.installedVersion = check.installedVersion; });
    switch (check.outcome)
    {
        case CheckOutcome::Current:
            return UnattendedExit::Current;
        case CheckOutcome::Unusable:
        case CheckOutcome::Failed:
        case CheckOutcome::LoginPage:
            return UnattendedExit::CheckFailed;
        case CheckOutcome::SwitchedOff:
            return UnattendedExit::SwitchedOff;
        case CheckOutcome::Offer:
            break;
    }
    if (!check.offer)
        return UnattendedExit::CheckFailed;
    state.Set([&] { state.offeredVersion = check.offer->version; });
    if (options.mode == RunMode::Check)
        return UnattendedExit::NewVersion;
    state.Set([&] { state.atDeadline = UnattendedExit::DownloadFailed; });
    if (!options.closeClient && FindClientProcess() != kNoClientProcess)
    {
        LogEvent(L"install: the client is running and /closeclient was not given: nothing is downloaded");
        return UnattendedExit::ClientRunning;
    }
    return DownloadAndInstall(*check.offer, options, state, deadline);
}

// The deadline has come before the package was claimed: the check or the
// download stops here, the bytes the download holds flushed and recorded for
// the next run as after a confirmed Cancel, and the process ends at once,
// whatever its thread is waiting for.
void EndAtDeadline(RunState& state, DWORD deadlineMs)
{
    UnattendedExit exit = UnattendedExit::CheckFailed;
    std::wstring installed, offered;
    const bool stopped = state.link.TryAbandon(
        [&]
        {
            if (!state.packagePath.empty())
                KeepOnlyResumable(state.packagePath, state.url);
            exit = state.atDeadline;
            installed = state.installedVersion;
            offered = state.offeredVersion;
        });
    if (!stopped)
        return;
    LogEvent(L"deadline: the run's time (" + DescribeDeadline(deadlineMs) + L") is over; the " +
             (exit == UnattendedExit::CheckFailed
                  ? L"check stops here"
                  : L"download stops here, what it holds is kept for the next run"));
    const int code = EndUnattended(exit, installed, offered);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
}

[[noreturn]] void EndAsInternalFault()
{
    try
    {
        LogEvent(L"fault: an exception that nothing caught ends the run");
        EndUnattended(UnattendedExit::InternalFault);
    }
    catch (...)
    {
    }
    // At once: the state that let the exception through is not to be trusted
    // with the library's clean-up.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(UnattendedExit::InternalFault));
    std::abort();
}
} // namespace

void EndUncaughtExceptionsAsInternalFault()
{
    std::set_terminate(EndAsInternalFault);
}

std::wstring FormatOutcomeLine(UnattendedExit exit, const std::wstring& installedVersion,
                               const std::wstring& offeredVersion, const std::wstring& logPath,
                               std::optional<DWORD> installerExitCode)
{
    return L"QVXLiveUpdate: exit code " + std::to_wstring(static_cast<int>(exit)) + L", " +
           OutcomeText(exit) +
           (installerExitCode ? L" (the installer's exit code " + std::to_wstring(*installerExitCode) + L")"
                              : std::wstring()) +
           L"; installed version " + (installedVersion.empty() ? L"unknown" : installedVersion) +
           L", offered version " + (offeredVersion.empty() ? L"none" : offeredVersion) + L"; log " +
           (logPath.empty() ? L"none" : logPath);
}

int ReportCommandLine(const CommandLine& options)
{
    if (options.mode != RunMode::Bad)
    {
        WriteToParentConsole(kUsageText);
        return 0;
    }
    // Not the instance's own log: it is not rotated.
    OpenRunLog(WorkingFolder(), false);
    LogEvent(L"end: bad command line (" + options.problem + L"): " + CommandLineForLog(::GetCommandLineW()));
    WriteToParentConsole(L"QVXLiveUpdate: " + options.problem + L"\r\n" + kUsageText);
    return static_cast<int>(UnattendedExit::BadCommandLine);
}

int EndUnattended(UnattendedExit exit, const std::wstring& installedVersion,
                  const std::wstring& offeredVersion, std::optional<DWORD> installerExitCode)
{
    const std::wstring folder = WorkingFolder();
    const std::wstring line =
        FormatOutcomeLine(exit, installedVersion, offeredVersion,
                          folder.empty() ? folder : folder + kRunLogName, installerExitCode);
    LogEvent(L"end: " + line);
    WriteToParentConsole(line + L"\r\n");
    return static_cast<int>(exit);
}

int RunUnattended(const CommandLine& options)
{
    const DWORD deadlineMs = DeadlineMs(options.deadlineMinutes);
    LogEvent(std::wstring(L"unattended: ") + (options.mode == RunMode::Check ? L"check only" : L"silent") +
             L", deadline " + DescribeDeadline(deadlineMs) +
             (options.mode == RunMode::Silent
                  ? L", installer arguments of " + std::to_wstring(options.installerArgs.size()) +
                        L" characters, " +
                        (options.closeClient ? L"a running client is closed" : L"a running client is left")
                  : std::wstring()));
    RunState state;
    UnattendedExit exit = UnattendedExit::CheckFailed;
    {
        DeadlineWatch deadline(deadlineMs, [&] { EndAtDeadline(state, deadlineMs); });
        if (!deadline.IsWatching())
            LogEvent(L"unattended: the deadline cannot be watched; only the installer's wait ends there");
        try
        {
            exit = Run(options, state, deadline);
        }
        catch (const std::exception& e)
        {
            LogEvent(L"fault: an unexpected error ended the run: " +
                     std::wstring(e.what(), e.what() + strlen(e.what())));
            exit = UnattendedExit::InternalFault;
        }
        catch (...)
        {
            LogEvent(L"fault: an unexpected error ended the run");
            exit = UnattendedExit::InternalFault;
        }
        // The watch ends here; a deadline that has just come ends the run.
    }
    // What the wizard removes as it ends; /check leaves the file alone.
    if (options.mode == RunMode::Silent)
    {
        const std::wstring record = LiveUpdateIniPath();
        if (!record.empty())
            ::DeleteFileW(record.c_str());
    }
    return EndUnattended(exit, state.installedVersion, state.offeredVersion, state.installerExitCode);
}
