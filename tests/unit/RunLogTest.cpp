// The run's log: lines support staff can read, and nothing secret in them.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "support/RunLog.h"

TEST(RunLog, LinesCarryTimeThreadAndOneLineOfText)
{
    SYSTEMTIME time{2026, 12, 1, 7, 9, 5, 3, 42};
    EXPECT_EQ(L"2026-12-07 09:05:03.042 [1234] a b  c", FormatLogLine(time, 1234, L"a\nb\r\nc"));
}

TEST(RunLog, CredentialsNeverReachTheLog)
{
    EXPECT_EQ(L"proxy.example:8080", ProxyForLog(L"proxy.example:8080"));
    EXPECT_EQ(L"p:1;q:2", ProxyForLog(L"http=u:p@p:1;https=https://v@q:2/"));
    EXPECT_EQ(L"p:1", ProxyForLog(L"http://user:pa@ss@p:1"));
    // A password with ";", a blank or "=" leaves no part of itself behind.
    for (const wchar_t* proxy :
         {L"user:pa;ss@proxy:8080", L"http=user:1234;5@proxy:8080", L"u:a b=c@proxy:8080"})
        EXPECT_EQ(L"proxy:8080", ProxyForLog(proxy)) << proxy;
}

TEST(RunLog, ErrorsAreNamedInWords)
{
    EXPECT_NE(std::wstring::npos,
              DescribeError(ERROR_INTERNET_CANNOT_CONNECT).find(L"12029 (cannot connect"));
    EXPECT_NE(std::wstring::npos, DescribeError(WSAETIMEDOUT).find(L"stalled"));
    EXPECT_EQ(0u, DescribeError(ERROR_FILE_NOT_FOUND).find(L"2 ("));
    EXPECT_EQ(std::wstring::npos, DescribeError(ERROR_FILE_NOT_FOUND).find(L"unknown"));
}
