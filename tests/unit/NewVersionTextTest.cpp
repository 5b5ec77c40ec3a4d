// The description as the NewVersion page finds it in the settings file.
#include <gtest/gtest.h>

#include "pages/NewVersionDlg.h"

TEST(NewVersionText, DescriptionFollowsTheDescKeyOfTheUpdateSection)
{
    EXPECT_EQ(L"one\r\ntwo\r\n", FindDescription(L"[Update]\r\nnewversion=3\r\ndesc=one\r\ntwo\r\n"));
    EXPECT_EQ(L"one\r\n", FindDescription(L"[Update]\r\ndesc = one\r\n"));
    EXPECT_EQ(L"  spaced\r\n[X]\r\n", FindDescription(L"[update]\r\ndesc=  spaced\r\n[X]\r\n"))
        << "kept as it is";
    EXPECT_EQ(L"", FindDescription(L"desc=outside\r\n[Update]\r\nnewversion=3\r\n[Other]\r\ndesc=x\r\n"));
    EXPECT_EQ(L"", FindDescription(L"[Update]\r\n desc=indented\r\n"));
}

TEST(NewVersionText, FileTextLosesItsPaddingAndACutSequenceOnly)
{
    EXPECT_EQ(std::wstring(L"desc=中\0x", 8),
              DecodeSettingsText(std::string("desc=\xE4\xB8\xAD\0x\0\0", 12)));
    EXPECT_EQ(L"desc=", DecodeSettingsText("\xEF\xBB\xBF"
                                           "desc=\xE4\xB8"));
    EXPECT_EQ(L"a😀", DecodeSettingsText("a\xF0\x9F\x98\x80"));
    EXPECT_EQ(L"a", DecodeSettingsText("a\xF0\x9F\x98"));
    EXPECT_EQ(L"", DecodeSettingsText(std::string(3, '\0')));
}
