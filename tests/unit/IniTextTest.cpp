#include <gtest/gtest.h>

#include "update/record/IniText.h"

namespace
{
bool Utf8(const std::string& bytes)
{
    return IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}
} // namespace

TEST(IsUtf8Text, AcceptsAsciiUtf8AndSequencesCutByTheEnd)
{
    EXPECT_TRUE(Utf8(""));
    EXPECT_TRUE(Utf8(std::string("a\0b", 3)));
    EXPECT_TRUE(Utf8("\xE4\xB8\xAD\xC3\xA9"));
    EXPECT_TRUE(Utf8("ab\xE4\xB8")); // three-byte form cut after two
    EXPECT_TRUE(Utf8("ab\xE4"));
    EXPECT_TRUE(Utf8("ab\xC3"));
    EXPECT_TRUE(Utf8("\xC0\x80")); // overlong forms are not rejected
    EXPECT_TRUE(Utf8("\xF0\x9F\x98\x80"));
    EXPECT_TRUE(Utf8("ab\xF0\x9F\x98"));
}

TEST(IsUtf8Text, RejectsStrayContinuationsHighLeadsAndBadFollowers)
{
    EXPECT_FALSE(Utf8("\x80"));
    EXPECT_FALSE(Utf8("a\xBF"));
    EXPECT_FALSE(Utf8("\xF0\x9F\x41\x80"));
    EXPECT_FALSE(Utf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(Utf8("\xC3\x41"));
    EXPECT_FALSE(Utf8("\xE4\xB8\x41"));
    // GBK "中文": D6 D0 is a two-byte lead followed by a non-continuation.
    EXPECT_FALSE(Utf8("\xD6\xD0\xCE\xC4"));
}

TEST(FindIniValue, ReadsByTheProfileRules)
{
    const std::wstring text = L"[Run]\r\nfrom=1\r\n[update]\r\n  NewVersion  =  3.0 beta  \r\n"
                              L"downloadurl=\"http://h/p.exe\"\r\nempty=\r\nnovalue\r\nnovalue=x\r\n";
    std::wstring value = L"untouched";
    EXPECT_TRUE(FindIniValue(text, L"Update", L"newversion", value));
    EXPECT_EQ(L"3.0 beta", value);
    EXPECT_TRUE(FindIniValue(text, L"UPDATE", L"downloadurl", value));
    EXPECT_EQ(L"http://h/p.exe", value);
    EXPECT_TRUE(FindIniValue(text, L"Update", L"empty", value));
    EXPECT_EQ(L"", value);
    EXPECT_TRUE(FindIniValue(text, L"Run", L"from", value));
    EXPECT_EQ(L"1", value);

    value = L"untouched";
    EXPECT_FALSE(FindIniValue(text, L"Update", L"novalue", value)) << "the first entry, without \"=\", wins";
    EXPECT_FALSE(FindIniValue(text, L"Update", L"from", value));
    EXPECT_FALSE(FindIniValue(text, L"Missing", L"from", value));
    EXPECT_EQ(L"untouched", value);
}

TEST(FindIniValue, TakesTheFirstSectionOnlyAndReadsNamesAndValuesToTheirFirstZero)
{
    const std::wstring text =
        L"[A]\nk=1\n[B]\nk=2\n[A]\nk=3\nj=4\n[C]\nk=5" + std::wstring(1, L'\0') + L"x\n";
    std::wstring value;
    EXPECT_TRUE(FindIniValue(text, L"A", L"k", value));
    EXPECT_EQ(L"1", value);
    EXPECT_FALSE(FindIniValue(text, L"A", L"j", value));
    EXPECT_TRUE(FindIniValue(text, L"C", L"k", value)) << "a zero ends the value, not the text";
    EXPECT_EQ(L"5", value);
}
