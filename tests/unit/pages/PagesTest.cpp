// The pages room: the close-client dialog, the boxes' texts, how far along
// the download is and what the status line says, the Welcome page's line.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "harness/Window.h"
#include "pages/FailureText.h"
#include "pages/NoticeDlg.h"
#include "pages/StatusText.h"
#include "pages/TransferMeter.h"
#include "pages/WelcomeDlg.h"
#include "unit/CloseClient.h"
#include "update/install/ClientProcess.h"

using closeclient::StartClient;
using closeclient::TwoClients;
using harness::Process;
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

TEST(FailureText, TheBoxNamesTheCause)
{
    const SYSTEMTIME local{2026, 12, 1, 7, 9, 5, 3, 0}, server{2031, 5, 0, 4, 18, 30, 0, 0};
    EXPECT_EQ(L"您的电脑时间不正确（本机：2026-12-07 09:05，服务器：2031-05-04 "
              L"18:30），请校正系统时间后重新执行更新程序！",
              ClockWrongText(local, server));
    EXPECT_EQ(L"您取消了安装程序所需的管理员授权，本次没有安装新版本。",
              StartFailureText(ERROR_CANCELLED, L"x"));
    for (DWORD error : {225, 226, 5, 2, 32})
        EXPECT_EQ(L"安装包被安全软件拦截，无法运行。请将其加入信任后重新执行更新程序！",
                  StartFailureText(error, L"x"))
            << error;
    EXPECT_EQ(L"安装程序无法启动（错误 193：坏），请重新执行更新程序！", StartFailureText(193, L"坏"));
    const std::wstring words = SystemErrorWords(ERROR_BAD_EXE_FORMAT, L"QoraSetup.exe");
    EXPECT_NE(std::wstring::npos, words.find(L"QoraSetup.exe")) << "%1 names the package";
    EXPECT_NE(L'\n', words.back());
}

TEST(StatusText, ProgressIsTruncatedAndHoldsForHugePackages)
{
    EXPECT_EQ(3333, ProgressPosition(1, 3));
    EXPECT_EQ(6666, ProgressPosition(2, 3));
    EXPECT_EQ(10000, ProgressPosition(3, 3));
    EXPECT_EQ(0, ProgressPosition(0, 0));
    const uint64_t fiveGiB = 5ull << 30;
    EXPECT_EQ(5000, ProgressPosition(fiveGiB / 2, fiveGiB));
    EXPECT_EQ(9999, ProgressPosition(fiveGiB - 1, fiveGiB));
    EXPECT_EQ(10000, ProgressPosition(fiveGiB, fiveGiB));
}

TEST(TransferMeter, SpeedOverTheLastSecondsAndTheTextsShown)
{
    TransferMeter meter;
    EXPECT_EQ(0, meter.BytesPerSecond());
    for (ULONGLONG t = 0; t <= 10000; t += 100)
        meter.Add(t < 5000 ? t * 1000 : 5000000 + (t - 5000) * 100, t); // 1 MB/s, then 100 KB/s
    EXPECT_NEAR(100000, meter.BytesPerSecond(), 1000) << "only the last five seconds count";
    meter.Reset();
    meter.Add(0, 0);
    meter.Add(1000, 100);
    EXPECT_FALSE(meter.HasSpeed()) << "too short to say";
    EXPECT_EQ(1000000000000000u, SecondsLeft(0, UINT64_MAX, 1.0).value_or(0)) << "a length near 2^64";

    EXPECT_EQ(L"512 B", FormatByteCount(512));
    EXPECT_EQ(L"12.5 MB", FormatByteCount(13107200));
    EXPECT_EQ(L"1.0 MB", FormatByteCount(1048575));
    EXPECT_EQ(L"1.5 GB", FormatByteCount(1610612736));
    EXPECT_EQ(L"已下载 12.5 MB / 48.0 MB，速度 2.3 MB/s，剩余约 16 秒",
              FormatTransferStatus(13107200, 50331648, 2.3 * 1048576));
    EXPECT_EQ(L"已下载 1.0 MB / 301.0 MB，速度 1.0 MB/s，剩余约 5 分钟",
              FormatTransferStatus(1048576, 301 * 1048576ull, 1048576));
    EXPECT_EQ(L"已下载 12.5 MB，速度 2.3 MB/s", FormatTransferStatus(13107200, 0, 2.3 * 1048576));
    EXPECT_EQ(L"已下载 12.5 MB / 48.0 MB，速度 0 B/s", FormatTransferStatus(13107200, 50331648, 0));
    EXPECT_EQ(L"已下载 0 B / 48.0 MB", FormatTransferStatus(0, 50331648, -1)) << "no speed known yet";
    EXPECT_EQ(L"连接中断，5 秒后重试（第 2 次，共 5 次）", FormatRetryStatus(5, 2, 5));
}

TEST(WelcomeDlg, WelcomeLineNamesTheCampusEdition)
{
    EXPECT_EQ(L"Qora校园版 2.1", FormatClientLine(L"Qora企业版", L"2.1"));
    EXPECT_EQ(L"Qora校园版 2.1", FormatClientLine(L"", L"2.1"));
    EXPECT_EQ(L"Client ", FormatClientLine(L"Client", L""));
    EXPECT_EQ(L"校园版 和 校园版 1", FormatClientLine(L"企业版 和 企业版", L"1"));
}
