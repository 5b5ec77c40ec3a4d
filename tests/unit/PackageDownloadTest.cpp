// How far along the download is, and what its length header says.
#include <gtest/gtest.h>

#include "update/PackageDownload.h"

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
