// The wizard frame inside this process, for what another process cannot see.
#include <gtest/gtest.h>

#include "application/LiveUpdateDlg.h"
#include "update/record/LiveUpdateIni.h"

TEST(Frame, SystemMenuEndsWithASeparatorAndTheAboutEntry)
{
    ::DeleteFileW(LiveUpdateIniPath().c_str());
    CLiveUpdateDlg frame(nullptr);
    ASSERT_TRUE(frame.Create(CLiveUpdateDlg::IDD, nullptr));
    HMENU menu = ::GetSystemMenu(frame.m_hWnd, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR), ::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"关于 QVXLiveUpdate(&A)...", text);
    EXPECT_EQ(16u, ::GetMenuItemID(menu, count - 1));
    frame.DestroyWindow();
}
