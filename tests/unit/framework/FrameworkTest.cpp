// The framework's own pieces that the controls build on: a tooltip that
// follows its owner's life, and a font object that owns what it makes.
#include <gtest/gtest.h>

#include "framework/Font.h"
#include "framework/ToolTipCtrl.h"
#include "framework/Wnd.h"

TEST(ToolTipCtrl, ToolTipForgetsItsWindowWhenItsOwnerIsDestroyed)
{
    HWND hOwner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, hOwner);
    CWnd owner;
    owner.m_hWnd = hOwner;
    CToolTipCtrl tip;
    ASSERT_TRUE(tip.Create(&owner));
    EXPECT_FALSE(tip.Create(&owner));
    const HWND hTip = tip.m_hWnd;
    RECT rc{0, 0, 5, 5};
    EXPECT_TRUE(tip.AddTool(&owner, L"first", &rc, 7));
    EXPECT_EQ(L"first", tip.GetText(&owner, 7));
    tip.UpdateTipText(L"second", &owner, 7);
    EXPECT_EQ(L"second", tip.GetText(&owner, 7));
    EXPECT_EQ(L"", tip.GetText(&owner, 8));

    ::DestroyWindow(hOwner);
    owner.m_hWnd = nullptr;
    EXPECT_FALSE(::IsWindow(hTip));
    EXPECT_EQ(nullptr, tip.m_hWnd);
}

TEST(Font, FontIsOwnedAndReplaced)
{
    CFont font;
    LOGFONTW lf{};
    EXPECT_EQ(0, font.GetLogFont(&lf));
    lf.lfHeight = -13;
    lf.lfUnderline = TRUE;
    wcscpy(lf.lfFaceName, L"Tahoma");
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    const HFONT first = font;
    LOGFONTW back{};
    ASSERT_NE(0, font.GetLogFont(&back));
    EXPECT_EQ(-13, back.lfHeight);
    EXPECT_TRUE(back.lfUnderline);

    lf.lfHeight = -20;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    EXPECT_NE(first, font.GetSafeHandle());
    // The first font has been deleted.
    EXPECT_EQ(0, ::GetObjectW(first, sizeof back, &back));
    EXPECT_TRUE(font.DeleteObject());
    EXPECT_EQ(nullptr, font.GetSafeHandle());
    EXPECT_FALSE(font.DeleteObject());
}
