// What the network's own answers mean: a login page in the server's place,
// the pace a transfer must keep, a proxy that cannot be reached and the
// user's proxy settings, a clock that is off the server's.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "harness/Machine.h"
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

TEST(NetworkTimeouts, EachMinuteOfATransferMustBringSixteenKiBOrTheRest)
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

// The cases' fixture bears the unit's name, which the program's own type
// (::NetworkRoute here) has too; the reader of the user's proxy settings
// meets them as each case leaves them.
namespace route
{
class NetworkRoute : public ::testing::Test
{
  protected:
    // The caller's variables start with values the reader must overwrite or
    // keep, as its rules say.
    void Read()
    {
        m_enabled = 7;
        m_proxy = L"caller";
        EXPECT_EQ(1, ReadSystemProxy(m_enabled, m_proxy));
    }

    harness::SystemProxy m_settings;
    int m_enabled = 0;
    std::wstring m_proxy;
};

TEST_F(NetworkRoute, OnlyAProxyNeverReachedIsGoneAround)
{
    ::NetworkRoute proxied;
    proxied.useProxy = true;
    ProxyContact none, reached;
    reached.reached = true;
    for (DWORD error :
         {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_TIMEOUT})
    {
        EXPECT_TRUE(IsProxyUnreachable(proxied, error, none)) << error;
        EXPECT_FALSE(IsProxyUnreachable(proxied, error, reached)) << "the proxy took the connection";
        EXPECT_FALSE(IsProxyUnreachable(::NetworkRoute(), error, none)) << "no proxy";
        EXPECT_FALSE(IsProxyUnreachable(DirectRoute(proxied), error, none)) << "already around it";
    }
    for (DWORD error : {ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_SEC_CERT_DATE_INVALID, 0})
        EXPECT_FALSE(IsProxyUnreachable(proxied, error, none)) << error;
}

TEST_F(NetworkRoute, ReadsTheProxyTextOnlyWhenSwitchedOn)
{
    m_settings.SetServer(L"proxy.example:3128");
    m_settings.SetEnable(0);
    Read();
    EXPECT_EQ(0, m_enabled);
    EXPECT_EQ(L"caller", m_proxy);

    m_settings.Delete(L"ProxyEnable");
    Read();
    EXPECT_EQ(0, m_enabled);
    EXPECT_EQ(L"caller", m_proxy);

    m_settings.SetEnable(1);
    m_settings.SetServer(L"http=proxy.example:3128;https=secure.example:8443;ftp=f:21");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"http=proxy.example:3128;https=secure.example:8443;ftp=f:21", m_proxy);

    // Any non-zero value switches it on.
    m_settings.SetEnable(0x100);
    m_settings.SetServer(L"\x4EE3\x7406:8080");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"\x4EE3\x7406:8080", m_proxy);

    m_settings.Delete(L"ProxyServer");
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);
}

TEST_F(NetworkRoute, ReadsTheSwitchAsFourBytesWhateverItsType)
{
    m_settings.SetServer(L"p:1");
    const struct
    {
        std::vector<BYTE> bytes;
        int enabled;
    } cases[] = {
        {{1, 0, 0, 0}, 1},
        {{0, 0, 0, 0}, 0},
        {{0, 0, 0, 1}, 1},
        {{1}, 1},
        {{0}, 0},
        {{0, 1}, 1},
        // Too long for four bytes: not read, so off.
        {{1, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{1, 1, 1, 1, 1, 1, 1, 1}, 0},
    };
    for (const auto& c : cases)
    {
        m_settings.Set(L"ProxyEnable", REG_BINARY, c.bytes.data(), c.bytes.size());
        Read();
        EXPECT_EQ(c.enabled, m_enabled) << c.bytes.size() << " bytes";
        EXPECT_EQ(c.enabled ? L"p:1" : L"caller", m_proxy) << c.bytes.size() << " bytes";
    }
}

TEST_F(NetworkRoute, NeverReadsPastTheTextBudget)
{
    m_settings.SetEnable(1);
    // 1023 characters and the terminating zero fill the 2048 bytes exactly.
    const std::wstring fits = L"http=" + std::wstring(1018, L'a');
    m_settings.SetServer(fits);
    Read();
    EXPECT_EQ(fits, m_proxy);

    // The whole budget without a zero: all of it, nothing beyond.
    const std::wstring full(1024, L'b');
    m_settings.Set(L"ProxyServer", REG_BINARY, full.data(), full.size() * sizeof(wchar_t));
    Read();
    EXPECT_EQ(full, m_proxy);

    // Longer than the budget: the text cannot be read, the proxy stays on.
    m_settings.SetServer(std::wstring(1024, L'c'));
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);
    m_settings.SetServer(std::wstring(5000, L'd'));
    Read();
    EXPECT_EQ(1, m_enabled);
    EXPECT_EQ(L"", m_proxy);

    // The text ends at its first zero.
    const wchar_t withZero[] = L"p:1\0junk";
    m_settings.Set(L"ProxyServer", REG_MULTI_SZ, withZero, sizeof withZero);
    Read();
    EXPECT_EQ(L"p:1", m_proxy);
}
} // namespace route

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
