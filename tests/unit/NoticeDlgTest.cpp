#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "harness/Window.h"
#include "pages/NoticeDlg.h"
#include "unit/CloseClient.h"
#include "update/install/ClientProcess.h"

using closeclient::StartClient;
using closeclient::TwoClients;
using harness::Process;
using harness::StandInPath;
using harness::TempDir;
using harness::TextOf;
using harness::WaitUntil;

namespace
{
// A CNoticeDlg run modally on a thread of its own, as the installer step
// runs it, so that this thread can drive it like a user.
class NoticeRun
{
  public:
    NoticeRun()
    {
        m_thread = std::thread(
            [this]
            {
                try
                {
                    m_threadId = ::GetCurrentThreadId();
                    CNoticeDlg dlg(nullptr);
                    m_result = dlg.DoModal();
                }
                catch (...)
                {
                    m_result = -2;
                }
                m_ended = true;
            });
        // The dialog is looked for among that thread's windows.
        WaitUntil([this] { return m_threadId != 0; });
    }
    ~NoticeRun()
    {
        if (!m_ended && m_hDlg)
            ::PostMessageW(m_hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        m_thread.join();
    }
    NoticeRun(const NoticeRun&) = delete;
    NoticeRun& operator=(const NoticeRun&) = delete;

    // The dialog's window once it is shown, or null.
    HWND WaitForWindow()
    {
        WaitUntil(
            [this]
            {
                const std::vector<HWND> shown = harness::TopWindows(0, L"#32770", nullptr, m_threadId);
                m_hDlg = shown.empty() ? nullptr : shown.front();
                return m_hDlg || m_ended;
            });
        return m_hDlg;
    }
    bool WaitForEnd(DWORD timeoutMs = 15000)
    {
        return WaitUntil([this] { return m_ended.load(); }, timeoutMs);
    }
    bool HasEnded() const { return m_ended; }
    INT_PTR Result() const { return m_result; }

    // A click on a button of the dialog; returns when the dialog has handled
    // it.
    bool Click(int id) const
    {
        DWORD_PTR ignored = 0;
        return ::SendMessageTimeoutW(::GetDlgItem(m_hDlg, id), BM_CLICK, 0, 0, SMTO_NORMAL, 10000,
                                     &ignored) != 0;
    }

  private:
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ended{false};
    std::atomic<INT_PTR> m_result{-1};
    HWND m_hDlg = nullptr;
    std::thread m_thread;
};
} // namespace

TEST(FindClientProcess, FindsTheFirstClientInSnapshotOrderWhateverItsLetterCase)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess()) << "a client from elsewhere is running";
    TwoClients clients;
    ASSERT_TRUE(clients.Start());

    ASSERT_NE(0u, clients.firstId);
    EXPECT_EQ(clients.firstId, FindClientProcess());

    // With the first gone, the other one, named in the other letter case, is
    // found.
    clients.first->Kill();
    EXPECT_EQ(clients.second->Id(), FindClientProcess());

    clients.second->Kill();
    EXPECT_EQ(kNoClientProcess, FindClientProcess());
}

TEST(ClientProcess, TerminatesOnlyTheClientAndWaitsForItsEnd)
{
    // An id from an older snapshot may belong to another program by now.
    TempDir dir(L"qvx-other-");
    const std::wstring other = dir.Path() + L"NotTheClient.exe";
    ASSERT_TRUE(::CopyFileW(StandInPath(L"QOravel.exe").c_str(), other.c_str(), FALSE));
    Process unrelated;
    ASSERT_TRUE(unrelated.Start(other));
    EXPECT_FALSE(TerminateClientProcess(unrelated.Id()));
    EXPECT_TRUE(unrelated.IsRunning());
    EXPECT_FALSE(TerminateClientProcess(kNoClientProcess));

    Process client;
    ASSERT_TRUE(StartClient(client));
    EXPECT_TRUE(TerminateClientProcess(client.Id()));
    EXPECT_FALSE(client.IsRunning()) << "termination was not waited for";
}

TEST(NoticeDlg, CarriesItsRunTimeClass)
{
    CNoticeDlg dlg;
    EXPECT_STREQ("CNoticeDlg", dlg.GetRuntimeClass()->m_lpszClassName);
    EXPECT_TRUE(dlg.GetRuntimeClass()->IsDerivedFrom(RUNTIME_CLASS(CDialog)));
}

TEST(NoticeDlg, ShowsTheCampusEditionAndRetryEndsOnlyOnceTheClientIsGone)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess());
    Process client;
    ASSERT_TRUE(StartClient(client));

    NoticeRun run;
    HWND hDlg = run.WaitForWindow();
    ASSERT_NE(nullptr, hDlg);

    EXPECT_EQ(closeclient::kCaption, TextOf(hDlg));
    EXPECT_EQ(closeclient::kQuestion, TextOf(::GetDlgItem(hDlg, IDC_NOTICE_TEXT)));
    EXPECT_EQ(L"强制关闭", TextOf(::GetDlgItem(hDlg, IDOK)));
    EXPECT_EQ(L"重试", TextOf(::GetDlgItem(hDlg, IDC_RETRY)));
    EXPECT_EQ(L"取消", TextOf(::GetDlgItem(hDlg, IDCANCEL)));

    // The click has been handled when Click returns: the dialog must still
    // be there and the client untouched.
    ASSERT_TRUE(run.Click(IDC_RETRY));
    EXPECT_FALSE(run.HasEnded());
    EXPECT_TRUE(::IsWindowVisible(hDlg));
    EXPECT_TRUE(client.IsRunning());

    client.Kill();
    ASSERT_TRUE(run.Click(IDC_RETRY));
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(IDOK, run.Result());
}

TEST(NoticeDlg, ForceCloseTerminatesOnlyTheFirstClientAndEndsWithOk)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess());
    TwoClients clients;
    ASSERT_TRUE(clients.Start());

    NoticeRun run;
    ASSERT_NE(nullptr, run.WaitForWindow());
    ASSERT_TRUE(run.Click(IDOK));
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(IDOK, run.Result());

    ASSERT_TRUE(clients.first->WaitForExit());
    EXPECT_EQ(0u, clients.first->ExitCode());
    EXPECT_TRUE(clients.second->IsRunning());
}

TEST(NoticeDlg, EnterForceClosesWhileEscAndTheCloseBoxCancel)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess());
    Process client;
    ASSERT_TRUE(StartClient(client));

    // Esc and the close box cancel and leave the client running; Enter, last,
    // closes it by force.
    struct Way
    {
        const char* name;
        int item; // 0: the dialog itself
        UINT msg;
        WPARAM wParam;
        INT_PTR result;
    };
    for (const Way& way : {Way{"Esc", IDCANCEL, WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
                           Way{"close box", 0, WM_SYSCOMMAND, SC_CLOSE, IDCANCEL},
                           Way{"Enter", IDOK, WM_KEYDOWN, VK_RETURN, IDOK}})
    {
        SCOPED_TRACE(way.name);
        NoticeRun run;
        HWND hDlg = run.WaitForWindow();
        ASSERT_NE(nullptr, hDlg);
        ::PostMessageW(way.item ? ::GetDlgItem(hDlg, way.item) : hDlg, way.msg, way.wParam, 0);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(way.result, run.Result());
        if (way.result == IDCANCEL)
        {
            EXPECT_TRUE(client.IsRunning());
        }
    }
    ASSERT_TRUE(client.WaitForExit());
    EXPECT_EQ(0u, client.ExitCode());
}
