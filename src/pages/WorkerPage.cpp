#include "pages/WorkerPage.h"

IMPLEMENT_DYNAMIC(CWorkerPage, CDialog)

CWorkerPage::CWorkerPage(UINT nIDTemplate, int progressId) : CDialog(nIDTemplate), m_progressId(progressId) {}

CWorkerPage::~CWorkerPage()
{
    AbandonWorker();
}

void CWorkerPage::AbandonWorker()
{
    if (m_link)
        m_link->Abandon();
}

void CWorkerPage::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, m_progressId, m_progress);
}

void CWorkerPage::InitWorkerPage(const wchar_t* tag)
{
    SetWindowText(tag);
    m_pFrame = GetParent();
    m_progress.SetRange(0, 10000);
    m_progress.SetPos(0);
}
