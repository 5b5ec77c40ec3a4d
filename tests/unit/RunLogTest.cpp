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

TEST(RunLog, ProxyCredentialsNeverReachTheLog)
{
    EXPECT_EQ(L"proxy.example:8080", WithoutCredentials(L"proxy.example:8080"));
    EXPECT_EQ(L"proxy.example:8080", WithoutCredentials(L"wfz:482915@proxy.example:8080"));
    EXPECT_EQ(L"http=p:1;https=q:2", WithoutCredentials(L"http=u:p@p:1;https=v@q:2"));
    EXPECT_EQ(L"http://p:1", WithoutCredentials(L"http://user:pa@ss@p:1"));
}

TEST(RunLog, ErrorsAreNamedInWords)
{
    EXPECT_NE(std::wstring::npos,
              DescribeError(ERROR_INTERNET_CANNOT_CONNECT).find(L"12029 (cannot connect"));
    EXPECT_NE(std::wstring::npos, DescribeError(WSAETIMEDOUT).find(L"stalled"));
    EXPECT_EQ(0u, DescribeError(ERROR_FILE_NOT_FOUND).find(L"2 ("));
    EXPECT_EQ(std::wstring::npos, DescribeError(ERROR_FILE_NOT_FOUND).find(L"unknown"));
}
