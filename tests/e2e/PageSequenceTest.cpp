// The page sequence: where the wizard starts, Cancel on each page, and the
// pages the workers' messages lead to.
#include "Fixture.h"

using namespace e2e;

namespace
{
const int kNext = 1000, kCancel = 1001, kResultText = 1008, kResultHeading = 1022;
const UINT kWizardNext = 1124, kCheckDone = 1125, kCheckError = 1126, kDownloadError = 1127;

const wchar_t kConfirmText[] = L"客户端将无法完成最新客户端的升级安装操作,\n是否确认退出?";
const wchar_t kAlreadyLatest[] = L"您现在已经是客户端最新版本，无需在线更新！";
const wchar_t kCheckErrorText[] = L"检测服务器版本时发生错误，请重新启动升级程序，进行再次升级";
const wchar_t kDownloadErrorText[] = L"下载更新包时发生错误，请重新启动升级程序，进行再次升级";

using Way = CancelWay;
const char* Name(Way way)
{
    return way == Way::Button ? "Button" : way == Way::Escape ? "Escape" : "CloseBox";
}
} // namespace

// Where the wizard opens, by the value of "Run"/"from".
struct FromCase
{
    const char* ini;
    const wchar_t* firstPage;
};
class FirstPageTest : public WizardTest, public ::testing::WithParamInterface<FromCase>
{
};

TEST_P(FirstPageTest, OpensWhereTheSettingsFileSays)
{
    if (GetParam().ini)
        WriteIni(GetParam().ini);
    StartWizard();
    ASSERT_TRUE(WaitForPage(m_frame, GetParam().firstPage))
        << "shown: " << ::testing::PrintToString(CurrentPageTag(m_frame));
    EXPECT_TRUE(IsEnabled(Item(m_frame, kNext)));
    EXPECT_EQ(L"下一步(&N)", TextOf(Item(m_frame, kNext)));
    EXPECT_TRUE(IsVisible(Item(m_frame, kCancel)));
    EXPECT_EQ(0, CountPages(m_frame, L"CCheckVersionDlg"));
    if (std::wstring(GetParam().firstPage) == L"CNewVersionDlg")
    {
        EXPECT_EQ(0, CountPages(m_frame, L"CWelcomeDlg"));
    }
}

INSTANTIATE_TEST_SUITE_P(FromValues, FirstPageTest,
                         ::testing::Values(FromCase{"[Run]\r\nfrom=1\r\n", L"CNewVersionDlg"},
                                           FromCase{"[run]\r\nFROM = 1\r\n", L"CNewVersionDlg"},
                                           FromCase{"[Run]\r\nfrom=\" 1\"\r\n", L"CWelcomeDlg"},
                                           FromCase{"[Run]\r\nfrom=\"1 \"\r\n", L"CWelcomeDlg"},
                                           FromCase{"[Run]\r\nfrom=01\r\n", L"CWelcomeDlg"},
                                           FromCase{"[Run]\r\nfrom=\r\n", L"CWelcomeDlg"},
                                           FromCase{"[Run]\r\nother=1\r\n", L"CWelcomeDlg"},
                                           FromCase{nullptr, L"CWelcomeDlg"}));

// Cancel, Esc and the close box on each page.
struct CancelCase
{
    const wchar_t* page;
    Way way;
};
class CancelTest : public WizardTest, public ::testing::WithParamInterface<CancelCase>
{
  protected:
    void StartAt(const wchar_t* page)
    {
        if (std::wstring(page) == L"CWelcomeDlg")
        {
            WriteIni("[Run]\r\nfrom=0\r\n");
            StartWizard();
        }
        else if (std::wstring(page) == L"CCheckVersionDlg")
        {
            WriteIni("[Run]\r\nfrom=0\r\n");
            StartAtCheckVersion();
            ASSERT_TRUE(WaitForPage(m_frame, L"CCheckVersionDlg"));
        }
        else
        {
            StartAtNewVersion(SlowRecord());
            if (std::wstring(page) == L"CDownloadDlg")
            {
                Click(Item(m_frame, kNext));
                ASSERT_TRUE(WaitForPage(m_frame, L"CDownloadDlg"));
            }
        }
    }
};

TEST_P(CancelTest, EndsAtOnceOrAsksFirst)
{
    const std::wstring page = GetParam().page;
    StartAt(GetParam().page);
    ASSERT_FALSE(HasFatalFailure());
    const bool asks = page == L"CCheckVersionDlg" || page == L"CDownloadDlg";
    if (!asks)
    {
        PressCancel(m_frame, kCancel, GetParam().way);
        ExpectEndsPromptly();
        return;
    }

    PressCancel(m_frame, kCancel, GetParam().way);
    HWND box = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(kConfirmText, MessageBoxText(box));
    AnswerMessageBox(box, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_TRUE(m_wizard.IsRunning());
    EXPECT_EQ(page, CurrentPageTag(m_frame));

    PressCancel(m_frame, kCancel, GetParam().way);
    box = WaitForMessageBox(m_wizard.Id(), L"提示");
    ASSERT_NE(nullptr, box);
    AnswerMessageBox(box, IDYES);
    ExpectEndsPromptly();
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CancelTest,
    ::testing::Values(
        CancelCase{L"CWelcomeDlg", Way::Button}, CancelCase{L"CWelcomeDlg", Way::Escape},
        CancelCase{L"CWelcomeDlg", Way::CloseBox}, CancelCase{L"CNewVersionDlg", Way::Button},
        CancelCase{L"CNewVersionDlg", Way::Escape}, CancelCase{L"CNewVersionDlg", Way::CloseBox},
        CancelCase{L"CCheckVersionDlg", Way::Button}, CancelCase{L"CCheckVersionDlg", Way::Escape},
        CancelCase{L"CCheckVersionDlg", Way::CloseBox}, CancelCase{L"CDownloadDlg", Way::Button},
        CancelCase{L"CDownloadDlg", Way::Escape}, CancelCase{L"CDownloadDlg", Way::CloseBox}),
    [](const ::testing::TestParamInfo<CancelCase>& info)
    {
        std::wstring page = info.param.page;
        return std::string(page.begin() + 1, page.end() - 3) + Name(info.param.way);
    });

namespace
{
void ExpectFinishPage(HWND frame, const wchar_t* heading, const wchar_t* text)
{
    ASSERT_TRUE(WaitForPage(frame, L"CFinishDlg"))
        << "shown: " << ::testing::PrintToString(CurrentPageTag(frame));
    HWND page = CurrentPage(frame);
    EXPECT_EQ(heading, TextOf(Item(page, kResultHeading)));
    EXPECT_EQ(text, TextOf(Item(page, kResultText)));
    EXPECT_FALSE(IsVisible(Item(frame, kCancel)));
    EXPECT_TRUE(IsEnabled(Item(frame, kNext)));
    EXPECT_EQ(L"完成", TextOf(Item(frame, kNext)));
    EXPECT_EQ(1, CountPages(frame, L"CFinishDlg"));
}
} // namespace

TEST_F(WizardTest, CheckDoneWithoutNewVersionEndsOnAlreadyLatestAndFinishEnds)
{
    StartAtCheckVersion();
    SendWizardMessage(m_frame, kCheckDone, 0);
    ExpectFinishPage(m_frame, L"升级完成", kAlreadyLatest);
    Click(Item(m_frame, kNext));
    ExpectEndsPromptly();
}

TEST_F(WizardTest, CheckDoneWithNewVersionShowsTheNewVersionPage)
{
    StartAtCheckVersion();
    SendWizardMessage(m_frame, kCheckDone, 1);
    ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
    EXPECT_TRUE(IsEnabled(Item(m_frame, kNext)));
    EXPECT_TRUE(IsVisible(Item(m_frame, kCancel)));
}

TEST_F(WizardTest, CheckErrorEndsOnTheFailureAndEscEndsWithoutBox)
{
    StartAtCheckVersion();
    SendWizardMessage(m_frame, kCheckError);
    ExpectFinishPage(m_frame, L"升级失败", kCheckErrorText);
    PressKey(m_frame, VK_ESCAPE);
    ExpectEndsPromptly();
}

TEST_F(WizardTest, DownloadErrorEndsOnTheFailureAndTheCloseBoxEndsWithoutBox)
{
    StartAtNewVersion(SlowRecord());
    Click(Item(m_frame, kNext));
    ASSERT_TRUE(WaitForPage(m_frame, L"CDownloadDlg"));
    EXPECT_FALSE(IsEnabled(Item(m_frame, kNext)));
    SendWizardMessage(m_frame, kDownloadError);
    ExpectFinishPage(m_frame, L"升级失败", kDownloadErrorText);
    SystemCommand(m_frame, SC_CLOSE);
    ExpectEndsPromptly();
}

TEST_F(WizardTest, RecordWithoutDownloadAddressEndsOnOneFinishPage)
{
    StartAtNewVersion("newversionname=Qora\r\nnewversion=3.0\r\n");
    Click(Item(m_frame, kNext));
    ExpectFinishPage(m_frame, L"升级失败", kDownloadErrorText);
    EXPECT_EQ(1, CountPages(m_frame, L"CDownloadDlg"));
    // A result that arrives late changes the text, not the page.
    SendWizardMessage(m_frame, kCheckDone, 0);
    ExpectFinishPage(m_frame, L"升级完成", kAlreadyLatest);
    Click(Item(m_frame, kNext));
    ExpectEndsPromptly();
}

TEST_F(WizardTest, WizardNextActsAsNextOnEachPage)
{
    WriteIni("[Run]\r\nfrom=0\r\n[Update]\r\n" + SlowRecord());
    StartWizard();
    SendWizardMessage(m_frame, kWizardNext);
    ASSERT_TRUE(WaitForPage(m_frame, L"CCheckVersionDlg"));
    EXPECT_FALSE(IsEnabled(Item(m_frame, kNext)));
    SendWizardMessage(m_frame, kCheckDone, 1);
    ASSERT_TRUE(WaitForPage(m_frame, L"CNewVersionDlg"));
    SendWizardMessage(m_frame, kWizardNext);
    ASSERT_TRUE(WaitForPage(m_frame, L"CDownloadDlg"));
    // No result recorded: the Finish page keeps its own texts.
    SendWizardMessage(m_frame, kWizardNext);
    ExpectFinishPage(m_frame, L"升级完成",
                     L"在线升级完成，您现在已经更新客户端最新版本。\n\n单击“完成”离开升级向导，"
                     L"重新启动Qora校园版客户端程序。");
    SendWizardMessage(m_frame, kWizardNext);
    ExpectEndsPromptly();
}
