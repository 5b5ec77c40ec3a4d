// What the network's own answers mean: a login page in the server's place,
// a proxy that cannot be reached, a clock that is off the server's; and what
// the user is then told.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "pages/FailureText.h"
#include "update/network/LoginPage.h"
#include "update/network/NetworkRoute.h"
#include "update/network/NetworkTimeouts.h"
#include "update/network/ServerClock.h"

TEST(LoginPage, RedirectsAwayAndWebPagesAreLoginPages)
{
    for (const wchar_t* type : {L"text/html", L" Text/HTML ; charset=gbk", L"TEXT/HTML;"})
        EXPECT_TRUE(IsHtmlContentType(type)) << type;
    for (const wchar_t* type : {L"", L"text/xml", L"text/htmlx", L"application/xhtml+xml", L"text/plain"})
        EXPECT_FALSE(IsHtmlContentType(type)) << type;
    for (const char* body : {"<html>", "\xEF\xBB\xBF \r\n\t<!doctype HTML>", "<HTML lang=zh>"})
        EXPECT_TRUE(StartsLikeHtml(body)) << body;
    for (const char* body : {"", "<r status-code=\"1\"/>", "x<html>", "<!DOCTYPE xml>", "<htm"})
        EXPECT_FALSE(StartsLikeHtml(body)) << body;

    EXPECT_EQ(L"", WebPageInstead(L"application/octet-stream"));
    EXPECT_NE(std::wstring::npos, WebPageInstead(L"text/html").find(L"web page"));

    EXPECT_TRUE(IsLoginPageAnswer(302, L"", L"login.campus.cn"));
    EXPECT_TRUE(IsLoginPageAnswer(511, L"text/html", L""));
    EXPECT_FALSE(IsLoginPageAnswer(404, L"text/html", L"")) << "the server's own error page";
    EXPECT_FALSE(IsLoginPageAnswer(200, L"text/html", L"")) << "judged by its body";
    // A body: the update reply labelled HTML is the reply; anything else
    // labelled HTML, or starting like it, is a login page.
    EXPECT_FALSE(IsLoginPageBody(L"text/html; charset=utf-8", "<response status-code=\"1\">", true));
    EXPECT_TRUE(IsLoginPageBody(L"text/html", "Please log in", false));
    EXPECT_TRUE(IsLoginPageBody(L"text/xml", "<html><body>", false));
    EXPECT_FALSE(IsLoginPageBody(L"text/xml", "<r status-code=\"1\">", true));
}

TEST(PaceFloor, EachMinuteOfATransferMustBringSixteenKiBOrTheRest)
{
    const struct
    {
        uint64_t left;
        std::vector<std::pair<uint64_t, ULONGLONG>> arrivals; // bytes, at tick
        bool slow;
    } cases[] = {
        {1 << 20, {{16383, 59999}, {0, 60000}}, true},
        {1 << 20, {{16384, 60000}, {16383, 119999}, {1, 120000}}, false},
        {1 << 20, {{1, 29000}, {1, 58000}, {1, 87000}}, true}, // a byte within each stall time
        {100, {{99, 60000}}, true},
        {100, {{100, 60000}}, false},
    };
    for (const auto& c : cases)
    {
        PaceFloor pace(0, c.left);
        uint64_t left = c.left;
        bool kept = true;
        for (const auto& arrival : c.arrivals)
            kept = pace.Arrived(arrival.first, left -= arrival.first, arrival.second) && kept;
        EXPECT_EQ(c.slow, !kept) << &c - cases;
    }
}

TEST(NetworkRoute, OnlyAProxyNeverReachedIsGoneAround)
{
    NetworkRoute proxied;
    proxied.useProxy = true;
    ProxyContact none, reached;
    reached.reached = true;
    for (DWORD error :
         {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_TIMEOUT})
    {
        EXPECT_TRUE(IsProxyUnreachable(proxied, error, none)) << error;
        EXPECT_FALSE(IsProxyUnreachable(proxied, error, reached)) << "the proxy took the connection";
        EXPECT_FALSE(IsProxyUnreachable(NetworkRoute(), error, none)) << "no proxy";
        EXPECT_FALSE(IsProxyUnreachable(DirectRoute(proxied), error, none)) << "already around it";
    }
    for (DWORD error : {ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_SEC_CERT_DATE_INVALID, 0})
        EXPECT_FALSE(IsProxyUnreachable(proxied, error, none)) << error;
}

TEST(ServerClock, ADayApartIsTheLimit)
{
    SYSTEMTIME at{2026, 12, 1, 7, 10, 0, 0, 0};
    FILETIME now{};
    ASSERT_TRUE(::SystemTimeToFileTime(&at, &now));
    EXPECT_EQ(3600, SecondsAheadOf(L"Mon, 07 Dec 2026 09:00:00 GMT", now));
    EXPECT_EQ(-1826 * 86400, SecondsAheadOf(L"Sun, 07 Dec 2031 10:00:00 GMT", now));
    for (const wchar_t* date :
         {L"", L"yesterday", L"Mon, 31 Feb 2026 09:00:00 GMT", L"Mon, 07 Dec 2026 09:00:00 CET",
          L"Xyz, 07 Dec 2026 09:00:00 GMT", L"Mon, 07 Dez 2026 09:00:00 GMT"})
        EXPECT_FALSE(SecondsAheadOf(date, now)) << date;
    EXPECT_FALSE(IsClockWrong(kClockToleranceSeconds));
    EXPECT_TRUE(IsClockWrong(kClockToleranceSeconds + 1));
    EXPECT_TRUE(IsClockWrong(-kClockToleranceSeconds - 1));
}

TEST(FailureText, TheBoxNamesTheCause)
{
    const SYSTEMTIME local{2026, 12, 1, 7, 9, 5, 3, 0}, server{2031, 5, 0, 4, 18, 30, 0, 0};
    EXPECT_EQ(L"您的电脑时间不正确（本机：2026-12-07 09:05，服务器：2031-05-04 "
              L"18:30），请校正系统时间后重新执行更新程序！",
              ClockWrongText(local, server));
    EXPECT_EQ(L"您取消了安装程序所需的管理员授权，本次没有安装新版本。",
              StartFailureText(ERROR_CANCELLED, L"x"));
    for (DWORD error : {225, 226, 5, 2, 32})
        EXPECT_EQ(L"安装包被安全软件拦截，无法运行。请将其加入信任后重新执行更新程序！",
                  StartFailureText(error, L"x"))
            << error;
    EXPECT_EQ(L"安装程序无法启动（错误 193：坏），请重新执行更新程序！", StartFailureText(193, L"坏"));
    const std::wstring words = SystemErrorWords(ERROR_BAD_EXE_FORMAT, L"QoraSetup.exe");
    EXPECT_NE(std::wstring::npos, words.find(L"QoraSetup.exe")) << "%1 names the package";
    EXPECT_NE(L'\n', words.back());
}
