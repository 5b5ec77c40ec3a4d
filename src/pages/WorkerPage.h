#pragma once
// What the two pages with a worker thread share: the frame the worker reports
// to, the bar it moves, the link that lets it outlive the page, and the
// guarded entry of its thread.

#include <memory>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/ScopedHandle.h"
#include "framework/WorkerThread.h"
#include "pages/WorkerLink.h"

class CWorkerPage : public CDialog
{
    DECLARE_DYNAMIC(CWorkerPage)

  public:
    ~CWorkerPage() override;

    // The page is going: from now on its worker reports nothing and starts
    // nothing.
    void AbandonWorker();

  protected:
    CWorkerPage(UINT nIDTemplate, int progressId);

    void DoDataExchange(CDataExchange* pDX) override;
    // Names the page by its tag, finds the frame and puts the bar at 0 of
    // 0..10000.
    void InitWorkerPage(const wchar_t* tag);
    // Starts `proc` with `job` unless `thread` already holds a worker; the
    // worker reaches the user interface through the new m_link. False when no
    // thread could be made (the job then stays with the caller).
    template <typename Job>
    bool StartWorker(KernelHandle& thread, ThreadProc proc, std::unique_ptr<Job>& job, HWND hStatus = nullptr)
    {
        if (thread)
            return true;
        m_link = std::make_shared<WorkerLink>(m_pFrame, m_progress.m_hWnd, hStatus);
        job->link = m_link;
        thread = StartIdleThread(proc, job);
        return static_cast<bool>(thread);
    }

    HWND m_pFrame = nullptr;
    CProgressCtrl m_progress;
    std::shared_ptr<WorkerLink> m_link;

  private:
    int m_progressId;
};

// The body of a worker thread: it takes over its job and runs `work`; when
// anything escapes that, `onFailure` (guarded too) tells the wizard, which
// must never wait for a report for ever, and `failureResult` is returned.
template <typename Job>
unsigned RunWorkerJob(void* param, unsigned (*work)(Job&), void (*onFailure)(Job&), unsigned failureResult)
{
    std::unique_ptr<Job> job(static_cast<Job*>(param));
    unsigned result = 0;
    if (!RunGuarded([&] { result = work(*job); }))
    {
        RunGuarded([&] { onFailure(*job); });
        result = failureResult;
    }
    return result;
}
