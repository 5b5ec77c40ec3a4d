#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pages/NoticeDlg.h"
#include "unit/StandInTools.h"
#include "unit/WindowProbes.h"
#include "update/install/ClientProcess.h"

using probes::TextOf;
using standins::ChildProcess;
using standins::PumpUntil;
using standins::StandInPath;
using standins::TempDir;

namespace
{
const wchar_t kCaption[] = L"Qora企业版在线升级";
const wchar_t kAdaptedText[] = L"您需要关闭正在运行的Qora校园版，才能继续\n剩下的安装";

// Two clients whose executable names differ only in letter case.
struct TwoClients
{
    TempDir dir{L"qvx-client-"};
    ChildProcess original;
    ChildProcess lowerCase;

    bool Start()
    {
        const std::wstring copy = dir.Path() + L"qoravel.EXE";
        return ::CopyFileW(StandInPath(L"QOravel.exe").c_str(), copy.c_str(), FALSE) &&
               original.Start(StandInPath(L"QOravel.exe")) && lowerCase.Start(copy);
    }
};

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
        PumpUntil(
            [this]
            {
                if (m_threadId != 0)
                    ::EnumThreadWindows(m_threadId, FindShown, reinterpret_cast<LPARAM>(&m_hDlg));
                return m_hDlg != nullptr || m_ended;
            });
        return m_hDlg;
    }
    bool WaitForEnd(DWORD timeoutMs = 15000)
    {
        return PumpUntil([this] { return m_ended.load(); }, timeoutMs);
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
    static BOOL CALLBACK FindShown(HWND hWnd, LPARAM lParam)
    {
        wchar_t className[16] = {};
        ::GetClassNameW(hWnd, className, 16);
        if (wcscmp(className, L"#32770") != 0 || !::IsWindowVisible(hWnd))
            return TRUE;
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }

    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ended{false};
    std::atomic<INT_PTR> m_result{-1};
    HWND m_hDlg = nullptr;
    std::thread m_thread;
};
} // namespace

TEST(ClientProcess, MatchesTheWholeBareNameIgnoringCase)
{
    EXPECT_TRUE(IsClientExeName(L"QOravel.exe"));
    EXPECT_TRUE(IsClientExeName(L"qoravel.EXE"));
    EXPECT_TRUE(IsClientExeName(L"QORAVEL.EXE"));
    EXPECT_FALSE(IsClientExeName(L"QOravel"));
    EXPECT_FALSE(IsClientExeName(L"QOravel.exe "));
    EXPECT_FALSE(IsClientExeName(L"xQOravel.exe"));
    EXPECT_FALSE(IsClientExeName(L"C:\\Program Files\\Qora\\QOravel.exe"));
    EXPECT_FALSE(IsClientExeName(L""));
    EXPECT_FALSE(IsClientExeName(nullptr));
}

TEST(FindClientProcess, FindsTheFirstClientInSnapshotOrderWhateverItsLetterCase)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess()) << "a client from elsewhere is running";
    TwoClients clients;
    ASSERT_TRUE(clients.Start());

    const DWORD first = standins::FirstInSnapshotOrder({clients.original.Id(), clients.lowerCase.Id()});
    ASSERT_NE(0u, first);
    EXPECT_EQ(first, FindClientProcess());

    // With the first gone, the other one, named in the other letter case, is
    // found.
    ChildProcess& firstClient = first == clients.original.Id() ? clients.original : clients.lowerCase;
    ChildProcess& secondClient = first == clients.original.Id() ? clients.lowerCase : clients.original;
    firstClient.Kill();
    EXPECT_EQ(secondClient.Id(), FindClientProcess());

    secondClient.Kill();
    EXPECT_EQ(kNoClientProcess, FindClientProcess());
}

TEST(ClientProcess, TerminatesOnlyTheClientAndWaitsForItsEnd)
{
    // An id from an older snapshot may belong to another program by now.
    TempDir dir(L"qvx-other-");
    const std::wstring other = dir.Path() + L"NotTheClient.exe";
    ASSERT_TRUE(::CopyFileW(StandInPath(L"QOravel.exe").c_str(), other.c_str(), FALSE));
    ChildProcess unrelated;
    ASSERT_TRUE(unrelated.Start(other));
    EXPECT_FALSE(TerminateClientProcess(unrelated.Id()));
    EXPECT_TRUE(unrelated.IsRunning());
    EXPECT_FALSE(TerminateClientProcess(kNoClientProcess));

    ChildProcess client;
    ASSERT_TRUE(client.Start(StandInPath(L"QOravel.exe")));
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
    ChildProcess client;
    ASSERT_TRUE(client.Start(StandInPath(L"QOravel.exe")));

    NoticeRun run;
    HWND hDlg = run.WaitForWindow();
    ASSERT_NE(nullptr, hDlg);

    EXPECT_EQ(kCaption, TextOf(hDlg));
    EXPECT_EQ(kAdaptedText, TextOf(::GetDlgItem(hDlg, IDC_NOTICE_TEXT)));
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
    const DWORD first = standins::FirstInSnapshotOrder({clients.original.Id(), clients.lowerCase.Id()});
    ChildProcess& firstClient = first == clients.original.Id() ? clients.original : clients.lowerCase;
    ChildProcess& secondClient = first == clients.original.Id() ? clients.lowerCase : clients.original;

    NoticeRun run;
    ASSERT_NE(nullptr, run.WaitForWindow());
    ASSERT_TRUE(run.Click(IDOK));
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(IDOK, run.Result());

    ASSERT_TRUE(firstClient.WaitForExit());
    EXPECT_EQ(0u, firstClient.ExitCode());
    EXPECT_TRUE(secondClient.IsRunning());
}

TEST(NoticeDlg, EnterForceClosesWhileEscAndTheCloseBoxCancel)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess());
    ChildProcess client;
    ASSERT_TRUE(client.Start(StandInPath(L"QOravel.exe")));

    {
        NoticeRun run;
        HWND hDlg = run.WaitForWindow();
        ASSERT_NE(nullptr, hDlg);
        ::PostMessageW(::GetDlgItem(hDlg, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(IDCANCEL, run.Result());
        EXPECT_TRUE(client.IsRunning());
    }
    {
        NoticeRun run;
        HWND hDlg = run.WaitForWindow();
        ASSERT_NE(nullptr, hDlg);
        ::PostMessageW(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(IDCANCEL, run.Result());
        EXPECT_TRUE(client.IsRunning());
    }
    {
        NoticeRun run;
        HWND hDlg = run.WaitForWindow();
        ASSERT_NE(nullptr, hDlg);
        ::PostMessageW(::GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(IDOK, run.Result());
        ASSERT_TRUE(client.WaitForExit());
        EXPECT_EQ(0u, client.ExitCode());
    }
}
