// Where the package goes and how far along it is.
#include <gtest/gtest.h>

#include "update/PackageDownload.h"

TEST(PackageDownload, LastSegmentIsTheTextAfterTheLastSlash)
{
    EXPECT_EQ(L"setup.exe", LastUrlSegment(L"http://h:81/a/b/setup.exe"));
    EXPECT_EQ(L"setup.exe?x=1", LastUrlSegment(L"http://h/setup.exe?x=1")) << "nothing is removed";
    EXPECT_EQ(L"%E5%8C%85.exe", LastUrlSegment(L"http://h/%E5%8C%85.exe")) << "nothing is decoded";
    EXPECT_EQ(L"", LastUrlSegment(L"http://h/dir/"));
    EXPECT_EQ(L"setup.exe", LastUrlSegment(L"setup.exe"));
}

TEST(PackageDownload, OnlyPlainNamesStayInTheTemporaryFolder)
{
    for (const wchar_t* name : {L"setup.exe", L"Qora 3.0 安装包.exe", L"a..b.exe", L"%2e%2e", L".hidden"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : {L"",         L".",       L"..",           L"...",      L"..\\x.exe",
                                L"a\\b.exe", L"c:x.exe", L"x.exe:stream", L"x?.exe",   L"x*.exe",
                                L"x\".exe",  L"x<y.exe", L"x|y.exe",      L"x\ty.exe", L"trail.",
                                L"trail ",   L"CON",     L"nul.exe",      L"com1.txt", L"LPT9"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    EXPECT_TRUE(IsPlainFileName(L"COM10")) << "only COM1 to COM9 are devices";
}

TEST(PackageDownload, ProgressIsTruncatedAndHoldsForHugePackages)
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

TEST(PackageDownload, ContentLengthMustBeAUsableSize)
{
    uint64_t length = 0;
    EXPECT_TRUE(ParseContentLength(L"3", length));
    EXPECT_EQ(3u, length);
    EXPECT_TRUE(ParseContentLength(L" 3000000000", length));
    EXPECT_EQ(3000000000u, length);
    EXPECT_TRUE(ParseContentLength(L"12abc", length));
    EXPECT_EQ(12u, length);
    for (const wchar_t* text : {L"", L"0", L"-5", L"abc", L"99999999999999999999999"})
        EXPECT_FALSE(ParseContentLength(text, length)) << text;
}
