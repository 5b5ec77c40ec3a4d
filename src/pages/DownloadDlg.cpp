#include "pages/DownloadDlg.h"

#include "framework/ComPtr.h"
#include "framework/WinApp.h"
#include "framework/WorkerThread.h"
#include "pages/DownloadProgress.h"
#include "pages/NoticeDlg.h"
#include "pages/WizardMessages.h"
#include "pages/WorkerLink.h"
#include "support/Files.h"
#include "support/RunLog.h"
#include "support/StringHelpers.h"
#include "update/Authenticode.h"
#include "update/Installer.h"
#include "update/LiveUpdateIni.h"
#include "update/NetSetting.h"
#include "update/NetworkTimeouts.h"
#include "update/PackageDownload.h"
#include "update/PackageName.h"
#include "update/PackageVerifier.h"
#include "update/PublisherKey.h"
#include "update/ResumeState.h"

IMPLEMENT_DYNAMIC(CDownloadDlg, CDialog)

namespace
{
const wchar_t kDownloadErrorBox[] = L"下载文件发生错误，请重新执行更新程序！";

// Everything the worker needs, fixed before it starts.
struct DownloadJob
{
    std::shared_ptr<WorkerLink> link;
    DownloadRequest request;
    bool plainPackageName;
    // The record's size, sha256 and signature texts.
    std::wstring size, sha256, signature;
};

// What the package must be: from the record, and from the build's key and
// pinned signers. Nothing when the record's values are malformed.
std::optional<PackageVerifier> MakeVerifier(const DownloadJob& job)
{
    PackageExpectation expected;
    std::wstring problem;
    if (!ParsePackageExpectation(job.size, job.sha256, job.signature, expected, problem))
    {
        LogEvent(L"verify: " + problem);
        return std::nullopt;
    }
    const bool keyRequired = HasEmbeddedPublisherKey();
    LogEvent(std::wstring(L"verify: ") +
             (keyRequired ? L"this build requires the publisher's signature"
                          : L"this build has no publisher key") +
             L"; the record gives " + (expected.size ? L"a size, " : L"no size, ") +
             (expected.sha256 ? L"a SHA-256, " : L"no SHA-256, ") +
             (expected.signature ? L"a signature" : L"no signature"));
    return PackageVerifier(expected, keyRequired, keyRequired ? PublisherKey::LoadEmbedded() : std::nullopt,
                           PinnedSignerThumbprints());
}

std::wstring WriteErrorText(const std::wstring& temporaryPath)
{
    return L"写文件" + temporaryPath + L"错误！\n文件正在使用中，请先关闭程序！";
}

// 0 after the file-creation error, -1 after the download error; does not
// return after a complete download.
unsigned RunDownload(DownloadJob& job)
{
    WorkerLink& link = *job.link;
    DownloadRequest& request = job.request;
    int proxyEnabled = 0;
    ReadSystemProxy(proxyEnabled, request.server.proxy);
    request.server.useProxy = proxyEnabled != 0;
    request.server.stallMs = StallTimeoutMs();
    LogEvent(L"download: " + request.server.url + L" to " + request.packagePath + L", " +
             (request.server.useProxy ? L"through the proxy" : L"direct") + L", stall time " +
             std::to_wstring(request.server.stallMs / 1000) + L" s");

    DownloadOutcome outcome = DownloadOutcome::CannotCreateFile;
    // For the taskbar button: COM on this thread for as long as it is shown.
    ComApartment com;
    DownloadProgress progress(link);
    FileHandle package;
    std::optional<PackageVerifier> verifier = MakeVerifier(job);
    // A name from the server that is not a plain file name could put the
    // package outside the temporary folder: it is refused like any name
    // the file system refuses.
    if (!job.plainPackageName)
        LogEvent(L"download: the address's last segment is not a usable file name");
    else if (!verifier)
        outcome = DownloadOutcome::Rejected;
    else
        outcome = DownloadPackage(request, *verifier, progress, package);

    if (link.IsAbandoned())
        return 0;
    switch (outcome)
    {
        case DownloadOutcome::Complete:
            // The installation is claimed and runs to its end: a Cancel
            // confirmation still open closes.
            link.SendToFrame(WM_INSTALL_STARTING);
            CDownloadDlg::RunInstaller(link.Frame(), request.packagePath, std::move(package));
        case DownloadOutcome::CannotCreateFile:
            AppMessageBox(WriteErrorText(PartialPackagePath(request.packagePath)), MB_OK | MB_ICONERROR);
            return 0;
        case DownloadOutcome::Abandoned:
            return 0;
        case DownloadOutcome::Failed:
        case DownloadOutcome::Rejected:
            break;
    }
    progress.ShowFailure();
    LogEvent(L"download: failed; the download-error box is shown");
    AppMessageBox(kDownloadErrorBox, MB_OK | MB_ICONERROR);
    link.SendToFrame(WM_DOWNLOAD_ERROR);
    return static_cast<unsigned>(-1);
}
} // namespace

CDownloadDlg::CDownloadDlg() : CDialog(IDD) {}

CDownloadDlg::~CDownloadDlg()
{
    AbandonWorker();
}

void CDownloadDlg::AbandonWorker()
{
    if (m_link)
        m_link->Abandon();
}

bool CDownloadDlg::TryAbandonWorker()
{
    // The process ends right after a confirmed Cancel, without waiting for
    // the worker: what it leaves on disk is settled here, between two of the
    // worker's changes.
    const std::wstring packagePath = m_strPackagePath, url = m_strDownloadUrl;
    return !m_link || m_link->TryAbandon([&] { KeepOnlyResumable(packagePath, url); });
}

void CDownloadDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DOWNLOAD_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_MANUAL_LINK, m_linkManual);
    DDX_Control(pDX, IDC_DOWNLOAD_STATUS, m_status);
}

BOOL CDownloadDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CDownloadDlg");
    m_pFrame = GetParent();
    m_progress.SetRange(0, 10000);
    m_progress.SetPos(0);

    std::wstring name, version;
    ReadUpdateRecord(name, version, m_strDownloadUrl);
    if (name.empty())
        name = kDefaultProductName;
    std::wstring line = name + L" " + version;
    ApplyEditionSubstitution(line);
    SetDlgItemText(IDC_PACKAGE_LINE, line);
    m_linkManual.SetLinkUrl(m_strDownloadUrl);

    const std::wstring segment = LastUrlSegment(m_strDownloadUrl);
    const std::wstring folder = TemporaryFolder();
    m_strPackagePath = folder + segment;
    m_bPlainPackageName = IsUsablePackageName(folder, segment);

    StartDownload();
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
    m_link = std::make_shared<WorkerLink>(m_pFrame, m_progress.m_hWnd, m_status.m_hWnd);
    auto job = std::make_unique<DownloadJob>();
    job->link = m_link;
    job->request.server.url = m_strDownloadUrl;
    job->request.packagePath = m_strPackagePath;
    job->request.server.agent = ApplicationTitle();
    job->plainPackageName = m_bPlainPackageName;
    ReadPackageChecks(job->size, job->sha256, job->signature);
    m_hDownloadThread = StartIdleThread(DownloadThread, job);
    return m_hDownloadThread ? TRUE : FALSE;
}

unsigned __stdcall CDownloadDlg::DownloadThread(void* pParam)
{
    std::unique_ptr<DownloadJob> job(static_cast<DownloadJob*>(pParam));
    unsigned result = 0;
    // Whatever goes wrong, the user hears of it and the wizard moves on.
    if (!RunGuarded([&] { result = RunDownload(*job); }))
    {
        RunGuarded(
            [&]
            {
                if (job->link->IsAbandoned())
                    return;
                AppMessageBox(kDownloadErrorBox, MB_OK | MB_ICONERROR);
                job->link->SendToFrame(WM_DOWNLOAD_ERROR);
            });
        result = static_cast<unsigned>(-1);
    }
    return result;
}

void CDownloadDlg::RunInstaller(HWND hFrame, const std::wstring& packagePath, FileHandle package)
{
    RunInstallerStep(hFrame, packagePath, std::move(package), CNoticeDlg::ConfirmClientClosed);
}
