#include <gtest/gtest.h>

#include "support/Utf8.h"

namespace
{
std::wstring Decode(const std::string& bytes)
{
    std::wstring out;
    Utf8ToWide(out, bytes.data(), bytes.size());
    return out;
}
} // namespace

TEST(Utf8ToWide, DecodesWellFormedText)
{
    EXPECT_EQ(L"", Decode(""));
    EXPECT_EQ(L"Version: 3.0.1 <ok/>", Decode("Version: 3.0.1 <ok/>"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), Decode(std::string("a\0b", 3)));
    EXPECT_EQ(L"\x00E9", Decode("\xC3\xA9"));
    EXPECT_EQ(L"\x4E2D", Decode("\xE4\xB8\xAD"));
    EXPECT_EQ(L"x\x4E2D\x6587y", Decode("x\xE4\xB8\xAD\xE6\x96\x87y"));
    // Four-byte forms become surrogate pairs, at both ends of the range.
    EXPECT_EQ(L"\xD83D\xDE00", Decode("\xF0\x9F\x98\x80"));
    EXPECT_EQ(L"a\xD800\xDC00z", Decode("a\xF0\x90\x80\x80z"));
    EXPECT_EQ(L"\xDBFF\xDFFF", Decode("\xF4\x8F\xBF\xBF"));

    // The output is replaced, not appended to.
    std::wstring out = L"previous";
    Utf8ToWide(out, "ab", 2);
    EXPECT_EQ(L"ab", out);
    Utf8ToWide(out, "", 0);
    EXPECT_EQ(L"", out);
}

TEST(Utf8ToWide, DecodesMalformedInputByItsOwnRules)
{
    // Stray continuation bytes keep their low six bits.
    EXPECT_EQ(L"\x003F", Decode("\xBF"));
    EXPECT_EQ(std::wstring(1, L'\0'), Decode("\x80"));
    EXPECT_EQ(L"a\x003F"
              L"b",
              Decode("a\xBF"
                     "b"));
    // Following bytes are consumed whatever their form; only their low six
    // bits count.
    EXPECT_EQ(L"\x4042", Decode("\xE4\x41\x42"));
    EXPECT_EQ(L"\x00C1"
              L"z",
              Decode("\xC3\x41z"));
    // Overlong forms are not rejected.
    EXPECT_EQ(L"/", Decode("\xC0\xAF"));
    // Four-byte forms that are not well-formed give one unit holding the low
    // 16 bits, as before.
    EXPECT_EQ(L"\xF040", Decode("\xF0\x9F\x41\x80")); // a follower is not 10xxxxxx
    EXPECT_EQ(L"\x0001", Decode("\xF4\x90\x80\x81")); // beyond U+10FFFF
    EXPECT_EQ(L"\xFFFF", Decode("\xF0\x8F\xBF\xBF")); // overlong, below U+10000
    EXPECT_EQ(std::wstring(L"\0a", 2), Decode("\xF5\x80\x80\x80"
                                              "a")); // lead above F4
    // Leads F8..FF take four to seven followers; 0xFF contributes no bits.
    EXPECT_EQ(L"\x20C4", Decode("\xF8\x81\x82\x83\x84"));
    EXPECT_EQ(L"\x1041"
              L"a",
              Decode("\xFF\x81\x81\x81\x81\x81\x81\x81"
                     "a"));
    // 0xFE takes six followers; the seventh byte is a stray continuation.
    EXPECT_EQ(L"\x1041\x0001", Decode("\xFE\x81\x81\x81\x81\x81\x81\x81"));
}

TEST(Utf8ToWide, DropsASequenceCutOffByTheEnd)
{
    // One, two and three bytes short.
    EXPECT_EQ(L"a", Decode("a\xF0\x9F\x98"));
    EXPECT_EQ(L"a", Decode("a\xF0\x9F"));
    EXPECT_EQ(L"a", Decode("a\xF0"));
    EXPECT_EQ(L"a", Decode("a\xE4\xB8"));
    EXPECT_EQ(L"a", Decode("a\xC3"));
    EXPECT_EQ(L"", Decode("\xFF\x81\x81\x81\x81\x81\x81"));
    // Followers of any form are dropped with the lead.
    EXPECT_EQ(L"\x4E2D", Decode("\xE4\xB8\xAD\xE4\x41"));

    // Nothing beyond `length` is read, even when the bytes there would
    // complete the sequence.
    const char buffer[] = "ab\xE4\xB8\xAD";
    std::wstring out;
    Utf8ToWide(out, buffer, 4);
    EXPECT_EQ(L"ab", out);
    Utf8ToWide(out, buffer, 5);
    EXPECT_EQ(L"ab\x4E2D", out);
    Utf8ToWide(out, buffer, 2);
    EXPECT_EQ(L"ab", out);
}

TEST(ConversionCodePage, FollowsTheThreadOnCurrentSystemsAndTheLocaleOnOlderOnes)
{
    EXPECT_EQ(static_cast<UINT>(CP_THREAD_ACP), ConversionCodePage());
    EXPECT_EQ(ConversionCodePage(), ConversionCodePage());

    EXPECT_EQ(936u, LegacyConversionCodePage(
                        MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT)));
    EXPECT_EQ(1252u,
              LegacyConversionCodePage(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
    EXPECT_EQ(1251u, LegacyConversionCodePage(
                         MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), SORT_DEFAULT)));
    // A locale that does not exist has no code page of its own.
    EXPECT_EQ(::GetACP(), LegacyConversionCodePage(0x7FFF1234));
}

TEST(ConversionCodePage, NarrowTextConvertsThroughTheThreadsCodePage)
{
    EXPECT_EQ(L"", NarrowToWide(""));
    EXPECT_EQ("", WideToNarrow(L""));
    EXPECT_EQ(L"Dispatch 8080", NarrowToWide("Dispatch 8080"));
    EXPECT_EQ("Dispatch 8080", WideToNarrow(L"Dispatch 8080"));

    const UINT acp = ::GetACP();
    if (acp == 936)
    {
        EXPECT_EQ(L"\x4E2D\x6587", NarrowToWide("\xD6\xD0\xCE\xC4"));
        EXPECT_EQ("\xD6\xD0\xCE\xC4", WideToNarrow(L"\x4E2D\x6587"));
    }
    else if (acp == 1252)
    {
        EXPECT_EQ(L"caf\x00E9 \x20AC", NarrowToWide("caf\xE9 \x80"));
        EXPECT_EQ("caf\xE9 \x80", WideToNarrow(L"caf\x00E9 \x20AC"));
        // A character the code page cannot hold becomes its default one.
        EXPECT_EQ("?", WideToNarrow(L"\x4E2D"));
    }
    else
    {
        GTEST_SKIP() << "no expectations for code page " << acp;
    }
}
