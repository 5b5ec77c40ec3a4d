// The description as the NewVersion page finds it in the settings file.
#include <gtest/gtest.h>

#include "pages/NewVersionDlg.h"

TEST(NewVersionText, DescriptionFollowsTheFirstDescMarker)
{
    EXPECT_EQ(L"one\r\ntwo\r\n", FindDescription(L"[Update]\r\nnewversion=3\r\ndesc=one\r\ntwo\r\n"));
    EXPECT_EQ(L"one\r\n", FindDescription(L"[Update]\r\ndesc = one\r\n"));
    EXPECT_EQ(L"  spaced\r\n", FindDescription(L"desc=  spaced\r\n")) << "kept as it is";
    // An earlier "desc=" (in the address) wins over the key ...
    EXPECT_EQ(L"x\r\ndesc=real\r\n", FindDescription(L"downloadurl=http://h/?desc=x\r\ndesc=real\r\n"));
    // ... and "desc = " is looked for first, in the whole text.
    EXPECT_EQ(L"inner\r\n", FindDescription(L"desc=text with desc = inner\r\n"));
    EXPECT_EQ(L"", FindDescription(L"[Update]\r\nnewversion=3\r\n"));
}

TEST(NewVersionText, FileTextEndsAtItsFirstZeroAndLosesOnlyACutSequence)
{
    EXPECT_EQ(L"desc=中", DecodeSettingsText(std::string("desc=\xE4\xB8\xAD\0\0garbage", 15)));
    EXPECT_EQ(L"desc=", DecodeSettingsText("desc=\xE4\xB8"));
    EXPECT_EQ(L"a😀", DecodeSettingsText("a\xF0\x9F\x98\x80"));
    EXPECT_EQ(L"a", DecodeSettingsText("a\xF0\x9F\x98"));
    EXPECT_EQ(L"", DecodeSettingsText(""));
}
