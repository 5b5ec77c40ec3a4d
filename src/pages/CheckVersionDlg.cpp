#include "pages/CheckVersionDlg.h"

#include "framework/InternetException.h"
#include "pages/WizardMessages.h"
#include "support/RunLog.h"
#include "update/check/VersionRequest.h"
#include "update/network/LoginPage.h"

IMPLEMENT_DYNAMIC(CCheckVersionDlg, CWorkerPage)

namespace
{
struct CheckJob
{
    std::shared_ptr<WorkerLink> link;
};

unsigned RunCheck(CheckJob& job)
{
    WorkerLink& link = *job.link;
    const VersionRequest request = PlanVersionCheck();
    std::wstring reply;
    try
    {
        reply = DecodeVersionReply(FetchVersionReply(request));
    }
    catch (const LoginPageAnswer&)
    {
        link.SendToFrame(WM_CHECK_ERROR, kCheckErrorLoginPage);
        return 0;
    }
    catch (const CInternetException&)
    {
        link.SendToFrame(WM_CHECK_ERROR);
        return 0;
    }
    if (!request.route.useProxy)
        ::OutputDebugStringW(reply.c_str());

    const ReplyVerdict verdict = CCheckVersionDlg::ParseVersionReply(reply, link);
    if (link.IsAbandoned())
        return 0;
    if (verdict == ReplyVerdict::Unusable)
    {
        link.SendToFrame(WM_CHECK_ERROR);
        return 0;
    }
    link.SetProgress(10000);
    link.SendToFrame(WM_CHECK_DONE, verdict == ReplyVerdict::NewVersion ? 1 : 0);
    return 0;
}

void ReportCheckError(CheckJob& job)
{
    job.link->SendToFrame(WM_CHECK_ERROR);
}
} // namespace

CCheckVersionDlg::CCheckVersionDlg() : CWorkerPage(IDD, IDC_CHECK_PROGRESS) {}

BOOL CCheckVersionDlg::OnInitDialog()
{
    CWorkerPage::OnInitDialog();
    InitWorkerPage(L"CCheckVersionDlg");
    if (!StartCheck())
        LogEvent(L"check: no worker thread could be started");
    return TRUE;
}

bool CCheckVersionDlg::StartCheck()
{
    auto job = std::make_unique<CheckJob>();
    return StartWorker(m_hCheckThread, CheckVersionThread, job);
}

unsigned __stdcall CCheckVersionDlg::CheckVersionThread(void* pParam)
{
    return RunWorkerJob<CheckJob>(pParam, RunCheck, ReportCheckError, 0);
}

ReplyVerdict CCheckVersionDlg::ParseVersionReply(const std::wstring& replyText, WorkerLink& link)
{
    // After a confirmed Cancel the frame removes the settings file: nothing
    // may be written after that, so the write and the abandonment exclude
    // each other.
    return RecordVersionReply(replyText, [&](const std::function<void()>& write)
                              { return link.RunUnlessAbandoned(write); });
}
