#include "pages/DownloadDlg.h"

#include "framework/ComPtr.h"
#include "framework/WinApp.h"
#include "pages/DownloadProgress.h"
#include "pages/Edition.h"
#include "pages/FailureText.h"
#include "pages/NoticeDlg.h"
#include "pages/StatusText.h"
#include "pages/WizardMessages.h"
#include "support/RunLog.h"
#include "update/download/PackageDownload.h"
#include "update/download/ResumeState.h"
#include "update/install/Installer.h"
#include "update/record/Policy.h"

IMPLEMENT_DYNAMIC(CDownloadDlg, CWorkerPage)

namespace
{
const wchar_t kDownloadErrorBox[] = L"下载文件发生错误，请重新执行更新程序！";

struct DownloadJob
{
    std::shared_ptr<WorkerLink> link;
    // Nothing when the recorded offer is refused: not a byte is fetched.
    std::optional<DownloadPlan> plan;
};

std::wstring WriteErrorText(const std::wstring& temporaryPath)
{
    return L"写文件" + temporaryPath + L"错误！\n文件正在使用中，请先关闭程序！";
}

// The folder the package goes to, as the user knows it: without the
// trailing separator.
std::wstring FolderOf(const std::wstring& packagePath)
{
    const size_t slash = packagePath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : packagePath.substr(0, slash);
}

// The box `text` (the download error's own when empty), then the download
// error's Finish page.
void ReportDownloadError(DownloadJob& job, const std::wstring& text)
{
    if (job.link->IsAbandoned())
        return;
    AppMessageBox(text.empty() ? std::wstring(kDownloadErrorBox) : text, MB_OK | MB_ICONERROR);
    job.link->SendToFrame(WM_DOWNLOAD_ERROR);
}

void ReportDownloadError(DownloadJob& job)
{
    ReportDownloadError(job, std::wstring());
}

// The box for a download that ended as `outcome`: the clock's, the security
// software's or the disk's when they stood in the way, else the usual one.
std::wstring DownloadErrorText(DownloadOutcome outcome, const DownloadPlan& plan,
                               const DownloadProgress& progress)
{
    if (outcome == DownloadOutcome::NoSpace)
        return NoSpaceText(progress.BytesNeeded(), FolderOf(plan.packagePath), progress.BytesAvailable());
    if (outcome == DownloadOutcome::ClockWrong && plan.clockAhead)
        return ClockWrongTextNow(*plan.clockAhead);
    if (outcome == DownloadOutcome::Blocked)
        return kPackageBlockedText;
    return std::wstring();
}

// 0 after the file-creation error, -1 after the download error; does not
// return after a complete download.
unsigned RunDownload(DownloadJob& job)
{
    WorkerLink& link = *job.link;
    // For the taskbar button: COM on this thread for as long as it is shown.
    ComApartment com;
    DownloadProgress progress(link);
    if (!job.plan)
    {
        progress.ShowFailure();
        LogEvent(L"download: failed; the download-error box is shown");
        ReportDownloadError(job);
        return static_cast<unsigned>(-1);
    }
    DownloadPlan& plan = *job.plan;
    FileHandle package;
    const DownloadOutcome outcome = DownloadPackage(plan, progress, package);
    if (link.IsAbandoned())
        return 0;
    switch (outcome)
    {
        case DownloadOutcome::Complete:
            // The installation is claimed and runs to its end: a Cancel
            // confirmation still open closes.
            link.SendToFrame(WM_INSTALL_STARTING);
            CDownloadDlg::RunInstaller(link.Frame(), plan.packagePath, std::move(package));
        case DownloadOutcome::CannotCreateFile:
            AppMessageBox(WriteErrorText(PartialPackagePath(plan.packagePath)), MB_OK | MB_ICONERROR);
            return 0;
        case DownloadOutcome::Abandoned:
            return 0;
        case DownloadOutcome::Failed:
        case DownloadOutcome::Rejected:
        case DownloadOutcome::NoSpace:
        case DownloadOutcome::ClockWrong:
        case DownloadOutcome::Blocked:
            break;
    }
    progress.ShowFailure();
    const std::wstring text = DownloadErrorText(outcome, plan, progress);
    LogEvent(text.empty() ? L"download: failed; the download-error box is shown"
                          : L"download: failed; the box says: " + text);
    ReportDownloadError(job, text);
    return static_cast<unsigned>(-1);
}
} // namespace

CDownloadDlg::CDownloadDlg() : CWorkerPage(IDD, IDC_DOWNLOAD_PROGRESS) {}

bool CDownloadDlg::TryAbandonWorker()
{
    // The process ends right after a confirmed Cancel, without waiting for
    // the worker: what it leaves on disk is settled here, between two of the
    // worker's changes.
    const std::wstring packagePath = m_strPackagePath, url = m_strDownloadUrl;
    return !m_link || m_link->TryAbandon(
                          [&]
                          {
                              if (!packagePath.empty())
                                  KeepOnlyResumable(packagePath, url);
                          });
}

void CDownloadDlg::DoDataExchange(CDataExchange* pDX)
{
    CWorkerPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MANUAL_LINK, m_linkManual);
    DDX_Control(pDX, IDC_DOWNLOAD_STATUS, m_status);
}

BOOL CDownloadDlg::OnInitDialog()
{
    CWorkerPage::OnInitDialog();
    InitWorkerPage(L"CDownloadDlg");

    const UpdateRecord record = ReadUpdateRecord();
    std::wstring line =
        (record.name.empty() ? std::wstring(kDefaultProductName) : record.name) + L" " + record.version;
    ApplyEditionSubstitution(line);
    SetDlgItemText(IDC_PACKAGE_LINE, line);
    m_strDownloadUrl = record.url;
    const bool switchedOff = ThePolicy().updatesDisabled;
    if (!m_strDownloadUrl.empty() && !switchedOff)
        m_offer = JudgeRecordedOffer(record);
    // The link hands its address to the shell: only one the offer's rules
    // take (a web page) may open.
    m_linkManual.SetLinkUrl(m_offer.offer ? m_offer.offer->url : std::wstring());
    if (switchedOff || m_offer.verdict == OfferVerdict::Held)
    {
        // The administrator's word: nothing is fetched, and the Finish page
        // takes this page's place from within its creation.
        if (switchedOff)
            LogEvent(L"download: updates are switched off by policy (UpdatesDisabled): nothing is fetched");
        ::SendMessageW(m_pFrame, WM_DOWNLOAD_HELD, switchedOff ? kPolicyUpdatesOff : kPolicyVersionLine, 0);
    }
    else if (!StartDownload() && !m_strDownloadUrl.empty())
    {
        LogEvent(L"download: no worker thread could be started");
    }
    return TRUE;
}

BOOL CDownloadDlg::StartDownload()
{
    if (m_strDownloadUrl.empty())
    {
        ::SendMessageW(m_pFrame, WM_DOWNLOAD_ERROR, 0, 0);
        return FALSE;
    }
    if (m_hDownloadThread)
        return TRUE;
    auto job = std::make_unique<DownloadJob>();
    if (m_offer.verdict == OfferVerdict::Take)
    {
        job->plan.emplace(PlanDownload(*m_offer.offer));
        m_strPackagePath = job->plan->packagePath;
    }
    return StartWorker(m_hDownloadThread, DownloadThread, job, m_status.m_hWnd) ? TRUE : FALSE;
}

unsigned __stdcall CDownloadDlg::DownloadThread(void* pParam)
{
    // Whatever goes wrong, the user hears of it and the wizard moves on.
    return RunWorkerJob<DownloadJob>(pParam, RunDownload, ReportDownloadError, static_cast<unsigned>(-1));
}

void CDownloadDlg::RunInstaller(HWND hFrame, const std::wstring& packagePath, FileHandle package)
{
    ::ShowWindow(hFrame, SW_HIDE);
    if (CWinApp* app = GetApp())
        app->BeginWaitCursor();
    else
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    // The installer has told its user itself whether it was cancelled; the
    // updater ends the same way whatever the step's outcome, but a package
    // that could not start would otherwise end it without a word.
    const InstallReport report =
        RunInstallerStep(packagePath, std::move(package), CNoticeDlg::ConfirmClientClosed);
    if (report.result == InstallReport::NotStarted)
    {
        const std::wstring text = StartFailureText(
            report.startError,
            SystemErrorWords(report.startError, packagePath.substr(packagePath.rfind(L'\\') + 1)));
        LogEvent(L"install: the box says: " + text);
        AppMessageBox(text,
                      MB_OK | (report.startError == ERROR_CANCELLED ? MB_ICONINFORMATION : MB_ICONERROR));
    }
    LogEvent(L"end: after the installer step");
    // The frame's thread is not waited for: ending the process ends it too.
    ::PostMessageW(hFrame, WM_CLOSE, 0, 0);
    ::ExitProcess(0);
}
