// Start-up: one wizard per session, the frame, the about box.
#include "Fixture.h"

using namespace e2e;

namespace
{
const int kNext = 1000, kCancel = 1001, kSidePicture = 1002;

HWND ChildWithText(HWND parent, const std::wstring& text)
{
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (TextOf(child) == text)
            return child;
    return nullptr;
}
} // namespace

TEST_F(WizardTest, SecondStartShowsItsBoxAndLeavesTheFirstUntouched)
{
    StartWizard();
    ASSERT_TRUE(WaitForPage(m_frame, L"CWelcomeDlg"));

    Process second;
    ASSERT_TRUE(second.Start(WizardExePath(), m_workFolder));
    HWND box = WaitForMessageBox(second.Id(), L"QVXLiveUpdate");
    ASSERT_NE(nullptr, box) << "the second instance showed no box";
    EXPECT_EQ(L"程序已经在运行，不能运行多个实例，谢谢！", MessageBoxText(box));
    EXPECT_TRUE(TopWindows(second.Id(), L"#32770", L"Qora校园版在线升级").empty());

    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(second.WaitForExit(10000));
    EXPECT_EQ(0u, second.ExitCode());

    EXPECT_TRUE(m_wizard.IsRunning());
    EXPECT_TRUE(IsVisible(m_frame));
    EXPECT_EQ(L"CWelcomeDlg", CurrentPageTag(m_frame));
    EXPECT_TRUE(IsEnabled(Item(m_frame, kNext)));
}

TEST_F(WizardTest, StartsAgainOnceTheFirstHasEndedNormallyOrNot)
{
    StartWizard();
    Click(Item(m_frame, kCancel));
    ExpectEndsPromptly();

    StartWizard();
    m_wizard.Kill(); // an abnormal end releases the session's instance too
    StartWizard();
    EXPECT_EQ(L"CWelcomeDlg", CurrentPageTag(m_frame));
}

TEST_F(WizardTest, FrameShowsCaptionPictureAndButtons)
{
    StartWizard();
    EXPECT_EQ(L"Qora校园版在线升级", TextOf(m_frame));
    EXPECT_TRUE(::GetWindowLongPtrW(m_frame, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    HWND next = Item(m_frame, kNext), cancel = Item(m_frame, kCancel);
    EXPECT_EQ(L"下一步(&N)", TextOf(next));
    EXPECT_TRUE(IsVisible(next) && IsEnabled(next));
    EXPECT_EQ(L"取消(&C)", TextOf(cancel));
    EXPECT_TRUE(IsVisible(cancel) && IsEnabled(cancel));

    HWND picture = Item(m_frame, kSidePicture);
    EXPECT_EQ(SS_BITMAP, ::GetWindowLongPtrW(picture, GWL_STYLE) & SS_TYPEMASK);
    EXPECT_NE(0, ::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));

    ASSERT_TRUE(WaitForPage(m_frame, L"CWelcomeDlg"));
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_frame, nullptr), &info);
    EXPECT_EQ(next, info.hwndFocus) << "Next should have the focus";
}

TEST_F(WizardTest, AboutBoxComesFromTheSystemMenuAndLeavesTheWizardAsItWas)
{
    StartWizard();
    const RECT before = [&]
    {
        RECT rc{};
        ::GetWindowRect(m_frame, &rc);
        return rc;
    }();

    // The about command with low flag bits set is still the about command.
    for (WPARAM command : {WPARAM(0x10), WPARAM(0x13)})
    {
        SystemCommand(m_frame, command);
        HWND about = WaitForTopWindow(m_wizard.Id(), L"#32770", L"关于 QVXLiveUpdate");
        ASSERT_NE(nullptr, about) << "no about box for command " << command;
        EXPECT_NE(nullptr, ChildWithText(about, L"QVXLiveUpdate Version 1.0"));
        EXPECT_EQ(L"确定", TextOf(Item(about, IDOK)));
        EXPECT_FALSE(IsEnabled(m_frame)) << "the about box is modal";

        Click(Item(about, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(m_frame); }));
    }
    RECT after{};
    ::GetWindowRect(m_frame, &after);
    EXPECT_TRUE(::EqualRect(&before, &after));
    EXPECT_EQ(L"CWelcomeDlg", CurrentPageTag(m_frame));
}

TEST_F(WizardTest, WelcomeLineNamesTheInstalledClient)
{
    struct Case
    {
        std::map<std::wstring, std::wstring> record; // empty: no record at all
        const wchar_t* line;
    } cases[] = {
        {{{L"DisplayName", L"Qora企业版"}, {L"MainVersion", L"2.1"}, {L"DisplayVersion", L"2.1.0.7"}},
         L"Qora校园版 2.1"},
        {{{L"MainVersion", L"2.1"}}, L"Qora校园版 2.1"},
        {{{L"DisplayName", L"Qora Client"}}, L"Qora Client "},
        {{{L"DisplayName", L"企业版 和 企业版"}, {L"MainVersion", L"3"}}, L"校园版 和 校园版 3"},
        {{}, L"Qora校园版 "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.line)));
        if (c.record.empty())
            RemoveClientRecord();
        else
            SetClientRecord(c.record);
        StartWizard();
        ASSERT_TRUE(WaitForPage(m_frame, L"CWelcomeDlg"));
        EXPECT_EQ(c.line, TextOf(Item(CurrentPage(m_frame), 1014)));
        m_wizard.Kill();
    }
}
