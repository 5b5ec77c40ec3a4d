#include "pages/CheckVersionDlg.h"

#include "pages/WizardMessages.h"
#include "support/RunLog.h"
#include "update/record/LiveUpdateIni.h"

IMPLEMENT_DYNAMIC(CCheckVersionDlg, CWorkerPage)

namespace
{
struct CheckJob
{
    std::shared_ptr<WorkerLink> link;
    std::shared_ptr<SendGate> gate; // none when the check starts as it is shown
};

unsigned RunCheck(CheckJob& job)
{
    WorkerLink& link = *job.link;
    const CheckOutcome outcome =
        CCheckVersionDlg::ParseVersionReply(CheckForUpdate(CheckFront::Wizard, job.gate.get()), link);
    if (link.IsAbandoned())
        return 0;
    switch (outcome)
    {
        case CheckOutcome::LoginPage:
            link.SendToFrame(WM_CHECK_ERROR, kCheckErrorLoginPage);
            return 0;
        case CheckOutcome::SwitchedOff:
            link.SendToFrame(WM_CHECK_ERROR, kCheckErrorSwitchedOff);
            return 0;
        case CheckOutcome::Failed:
        case CheckOutcome::Unusable:
            link.SendToFrame(WM_CHECK_ERROR);
            return 0;
        case CheckOutcome::Current:
        case CheckOutcome::Offer:
            break;
    }
    link.SetProgress(10000);
    link.SendToFrame(WM_CHECK_DONE, outcome == CheckOutcome::Offer ? 1 : 0);
    return 0;
}

void ReportCheckError(CheckJob& job)
{
    job.link->SendToFrame(WM_CHECK_ERROR);
}
} // namespace

CCheckVersionDlg::CCheckVersionDlg() : CWorkerPage(IDD, IDC_CHECK_PROGRESS) {}

void CCheckVersionDlg::Prepare()
{
    if (m_hCheckThread)
        return;
    // Not named yet: until Begin the page is nothing the frame shows.
    InitWorkerPage(L"");
    m_gate = std::make_shared<SendGate>();
    if (!StartCheck())
        m_gate.reset();
}

void CCheckVersionDlg::Begin()
{
    InitWorkerPage(L"CCheckVersionDlg");
    if (m_gate)
        m_gate->Open();
    else if (!StartCheck())
        LogEvent(L"check: no worker thread could be started");
}

bool CCheckVersionDlg::StartCheck()
{
    auto job = std::make_unique<CheckJob>();
    job->gate = m_gate;
    return StartWorker(m_hCheckThread, CheckVersionThread, job);
}

unsigned __stdcall CCheckVersionDlg::CheckVersionThread(void* pParam)
{
    return RunWorkerJob<CheckJob>(pParam, RunCheck, ReportCheckError, 0);
}

CheckOutcome CCheckVersionDlg::ParseVersionReply(const CheckResult& result, WorkerLink& link)
{
    if (result.outcome != CheckOutcome::Offer || !result.record)
        return result.outcome;
    // After a confirmed Cancel the frame removes the settings file: nothing
    // may be written after that, so the write and the abandonment exclude
    // each other.
    const std::wstring path = LiveUpdateIniPath();
    bool written = false;
    if (!link.RunUnlessAbandoned(
            [&] { written = !path.empty() && WriteUpdateRecord(path.c_str(), *result.record); }))
        return result.outcome;
    if (written)
        return result.outcome;
    LogEvent(L"check: the update record could not be written");
    return CheckOutcome::Unusable;
}
