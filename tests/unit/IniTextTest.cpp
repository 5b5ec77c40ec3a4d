#include <gtest/gtest.h>

#include "update/IniText.h"

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
    const std::string text = "[Run]\r\nfrom=1\r\n[update]\r\n  NewVersion  =  3.0 beta  \r\n"
                             "downloadurl=\"http://h/p.exe\"\r\nempty=\r\nnovalue\r\n";
    std::string value = "untouched";
    EXPECT_TRUE(FindIniValue(text, "Update", "newversion", value));
    EXPECT_EQ("3.0 beta", value);
    EXPECT_TRUE(FindIniValue(text, "UPDATE", "downloadurl", value));
    EXPECT_EQ("http://h/p.exe", value);
    EXPECT_TRUE(FindIniValue(text, "Update", "empty", value));
    EXPECT_EQ("", value);
    EXPECT_TRUE(FindIniValue(text, "Run", "from", value));
    EXPECT_EQ("1", value);

    value = "untouched";
    EXPECT_FALSE(FindIniValue(text, "Update", "from", value));
    EXPECT_FALSE(FindIniValue(text, "Missing", "from", value));
    EXPECT_EQ("untouched", value);
}

TEST(FindIniValue, StopsAtTheFirstZeroAndTakesTheFirstSectionOnly)
{
    std::string text("[A]\nk=1\n[B]\nk=2\n[A]\nk=3\nj=4\n", 29);
    text += std::string(10, '\0') + "[C]\nk=5\n";
    std::string value;
    EXPECT_TRUE(FindIniValue(text, "A", "k", value));
    EXPECT_EQ("1", value);
    EXPECT_FALSE(FindIniValue(text, "A", "j", value));
    EXPECT_FALSE(FindIniValue(text, "C", "k", value));
}

TEST(FindIniValue, KeepsMultiByteValuesAsBytes)
{
    const std::string text = "[Update]\nnewversionname=Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88 3.0\n";
    std::string value;
    ASSERT_TRUE(FindIniValue(text, "Update", "newversionname", value));
    EXPECT_EQ("Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88 3.0", value);
}
