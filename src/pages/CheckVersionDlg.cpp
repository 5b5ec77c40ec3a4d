#include "pages/CheckVersionDlg.h"

#include <cstring>

#include "pages/WizardMessages.h"
#include "framework/InternetException.h"
#include "framework/WinApp.h"
#include "framework/WorkerThread.h"
#include "pages/WorkerLink.h"
#include "support/RunLog.h"
#include "support/Utf8.h"
#include "update/ClientRecord.h"
#include "update/LiveUpdateIni.h"
#include "update/NetSetting.h"
#include "update/NetworkTimeouts.h"
#include "update/VersionRequest.h"

IMPLEMENT_DYNAMIC(CCheckVersionDlg, CDialog)

namespace
{
// Everything the worker needs, fixed before it starts.
struct CheckJob
{
    std::shared_ptr<WorkerLink> link;
    std::wstring agent;
};

void RunCheck(const CheckJob& job)
{
    WorkerLink& link = *job.link;
    // The XML component is used inside these calls only: COM is not held
    // across the network wait.
    std::wstring server;
    DispatchPortList ports;
    LoadNetSetting(server, ports);
    int proxyEnabled = 0;
    std::wstring proxy;
    ReadSystemProxy(proxyEnabled, proxy);

    VersionRequest request;
    request.server = server;
    // Only the first entry counts; the others are never tried.
    request.port = ports.empty() ? INTERNET_DEFAULT_HTTP_PORT : static_cast<INTERNET_PORT>(ports[0].port);
    request.secure = !ports.empty() && ports[0].ssl != 0;
    request.useProxy = proxyEnabled != 0;
    request.proxy = proxy;
    request.installedVersion = ReadInstalledVersion();
    request.agent = job.agent;
    request.stallMs = StallTimeoutMs();
    LogEvent(ports.empty() ? std::wstring(L"check: netsetting.xml names no server")
                           : L"check: server \"" + server + L"\" port " + std::to_wstring(ports[0].port) +
                                 L" ssl " + std::to_wstring(ports[0].ssl) + L" from netsetting.xml, " +
                                 (request.useProxy ? L"through the proxy" : L"direct") +
                                 L", installed version \"" + request.installedVersion + L"\"");

    std::string body;
    try
    {
        body = FetchVersionReply(request);
    }
    catch (const CInternetException&)
    {
        link.SendToFrame(WM_CHECK_ERROR);
        return;
    }
    std::wstring reply;
    Utf8ToWide(reply, body.data(), body.size());
    if (!request.useProxy)
        ::OutputDebugStringW(reply.c_str());

    const ReplyVerdict verdict = CCheckVersionDlg::ParseVersionReply(reply, link);
    if (link.IsAbandoned())
        return;
    if (verdict == ReplyVerdict::Unusable)
    {
        link.SendToFrame(WM_CHECK_ERROR);
        return;
    }
    link.SetProgress(10000);
    link.SendToFrame(WM_CHECK_DONE, verdict == ReplyVerdict::NewVersion ? 1 : 0);
}
} // namespace

CCheckVersionDlg::CCheckVersionDlg() : CDialog(IDD) {}

CCheckVersionDlg::~CCheckVersionDlg()
{
    AbandonWorker();
}

void CCheckVersionDlg::AbandonWorker()
{
    if (m_link)
        m_link->Abandon();
}

void CCheckVersionDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHECK_PROGRESS, m_progress);
}

BOOL CCheckVersionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(L"CCheckVersionDlg");
    m_pFrame = GetParent();
    m_progress.SetRange(0, 10000);
    m_progress.SetPos(0);
    StartCheck();
    return TRUE;
}

bool CCheckVersionDlg::StartCheck()
{
    if (m_hCheckThread)
        return true;
    m_link = std::make_shared<WorkerLink>(m_pFrame, m_progress.m_hWnd);
    auto job = std::make_unique<CheckJob>(CheckJob{m_link, ApplicationTitle()});
    m_hCheckThread = StartIdleThread(CheckVersionThread, job);
    return static_cast<bool>(m_hCheckThread);
}

unsigned __stdcall CCheckVersionDlg::CheckVersionThread(void* pParam)
{
    std::unique_ptr<CheckJob> job(static_cast<CheckJob*>(pParam));
    // Whatever goes wrong, the wizard must not wait for a report for ever.
    if (!RunGuarded([&] { RunCheck(*job); }))
        RunGuarded([&] { job->link->SendToFrame(WM_CHECK_ERROR); });
    return 0;
}

ReplyVerdict CCheckVersionDlg::ParseVersionReply(const std::wstring& replyText, WorkerLink& link)
{
    const VersionReply reply = ReadVersionReply(replyText);
    ReplyVerdict verdict = JudgeVersionReply(reply);
    LogEvent(L"check: the reply says status-code " + std::to_wstring(reply.status) +
             (reply.status == 1
                  ? L", offered version \"" + reply.record.version + L"\" at " + reply.record.url
                  : std::wstring()) +
             (verdict == ReplyVerdict::Unusable ? L"; not usable (a value too long or malformed)" : L""));
    if (verdict != ReplyVerdict::NewVersion || reply.status != 1)
        return verdict;
    wchar_t path[kIniPathCapacity] = {};
    GetLiveUpdateIniPath(path);
    // After a confirmed Cancel the frame removes the settings file: nothing
    // may be written after that, so the write and the abandonment exclude
    // each other.
    bool written = false;
    link.RunUnlessAbandoned([&] { written = *path && WriteUpdateRecord(path, reply.record); });
    if (!written && !link.IsAbandoned())
    {
        LogEvent(L"check: the update record could not be written");
        verdict = ReplyVerdict::Unusable;
    }
    return verdict;
}
