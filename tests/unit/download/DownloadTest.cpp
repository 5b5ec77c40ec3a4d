// The download room: what the server's answers allow, when a try is
// followed by another, what a run leaves for the next one, and which names
// from an address may become paths.
#include <gtest/gtest.h>

#include "framework/ScopedHandle.h"
#include "harness/Files.h"
#include "update/download/PackageName.h"
#include "update/download/PackageRequest.h"
#include "update/download/RangeAnswer.h"
#include "update/download/RetryPolicy.h"
#include "update/download/ResumeState.h"

TEST(RangeAnswer, ContentLengthMustBeAUsableSize)
{
    uint64_t length = 0;
    EXPECT_TRUE(ParseContentLength(L"3", length));
    EXPECT_EQ(3u, length);
    EXPECT_TRUE(ParseContentLength(L" 3000000000", length));
    EXPECT_EQ(3000000000u, length);
    EXPECT_TRUE(ParseContentLength(L"12abc", length));
    EXPECT_EQ(12u, length);
    EXPECT_TRUE(ParseContentLength(L"18446744073709551615", length)) << "the largest value fits";
    EXPECT_EQ(UINT64_MAX, length);
    for (const wchar_t* text :
         {L"", L"0", L"-5", L"abc", L"18446744073709551616", L"99999999999999999999999"})
        EXPECT_FALSE(ParseContentLength(text, length)) << text;
}

TEST(RangeAnswer, OnlyAnExactContinuationIsAppended)
{
    struct Case
    {
        unsigned status;
        const wchar_t* range;
        const wchar_t* length;
        RangeVerdict verdict;
    } cases[] = {
        {206, L"bytes 400-999/1000", L"600", RangeVerdict::Append},
        {206, L"bytes 400-999/1000", L"", RangeVerdict::Append},
        {200, L"", L"1000", RangeVerdict::Restart},
        {200, L"", L"1234", RangeVerdict::Restart}, // a new package: from zero
        {416, L"bytes */1000", L"", RangeVerdict::Refused},
        {206, L"bytes 400-1000/1001", L"601", RangeVerdict::Refused}, // another total
        {206, L"bytes 401-999/1000", L"599", RangeVerdict::Refused},  // starts elsewhere
        {206, L"bytes 400-899/1000", L"500", RangeVerdict::Refused},  // stops short of the end
        {206, L"bytes 400-999/1000", L"599", RangeVerdict::Refused},  // a length that disagrees
        {206, L"bytes 400-999/*", L"600", RangeVerdict::Refused},
        {206, L"", L"600", RangeVerdict::Refused},
        {500, L"", L"10", RangeVerdict::Refused},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.verdict, JudgeRangeAnswer(400, 1000, c.status, c.range, c.length))
            << c.status << " " << c.range;

    // The entity answered must be the one sent in If-Range, and name it: one
    // whose validators were stripped may be another's tail. A weak tag is none.
    const wchar_t date[] = L"Wed, 01 Jan 2025 00:00:00 GMT";
    EXPECT_TRUE(AnswerKeepsValidator(L"\"v1\"", L"\"v1\"", L"") &&
                AnswerKeepsValidator(date, L"\"v2\"", date));
    EXPECT_FALSE(AnswerKeepsValidator(L"\"v1\"", L"\"v2\"", date) || AnswerKeepsValidator(date, L"", L"x"));
    EXPECT_FALSE(AnswerKeepsValidator(L"\"v1\"", L"", date) || AnswerKeepsValidator(date, L"\"v1\"", L""));
    PackageAnswer weak;
    weak.etag = L"W/\"v1\"", weak.lastModified = date;
    EXPECT_EQ(L"", weak.Validator());
}

TEST(RetryPolicy, RetriesWaitLongerEachTimeAndNeverGoOnForEver)
{
    EXPECT_EQ((std::vector<DWORD>{1000, 2000, 4000, 8000, 16000}),
              (std::vector<DWORD>{RetryDelayMs(1), RetryDelayMs(2), RetryDelayMs(3), RetryDelayMs(4),
                                  RetryDelayMs(5)}));
    EXPECT_EQ(5, kMaxDownloadRetries);
    // Tries under a MiB wait 1 to 16 s, the sixth ends the run; a MiB starts
    // the count again; 100 tries end it whatever they bring.
    using Next = RetryPolicy::Next;
    RetryPolicy trickle, steady;
    std::vector<Next> seen;
    for (uint64_t added : {1u, 1u << 20, 0u, 1u, 2u, 3u, (1u << 20) - 1, 0u})
        seen.push_back(trickle.AfterTry(added));
    EXPECT_EQ(std::vector<Next>({Next::AfterWait, Next::AtOnce, Next::AfterWait, Next::AfterWait,
                                 Next::AfterWait, Next::AfterWait, Next::AfterWait, Next::GiveUp}),
              seen);
    for (int i = 1; i < kMaxDownloadTries; ++i)
        ASSERT_EQ(Next::AtOnce, i % 2 ? steady.AfterTry(10 << 20) : steady.AfterDroppedBytes()) << i;
    EXPECT_EQ(Next::GiveUp, steady.AfterTry(10 << 20));
}

TEST(ResumeState, RoundTripsAndRefusesAnythingElse)
{
    const ResumeState state{L"http://h/包.exe?x=1", L"http://mirror/包.exe", L"\"v1\"", 5000000000ull, 123};
    const std::string text = FormatResumeState(state);
    const auto back = ParseResumeState(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(state.url, back->url);
    EXPECT_EQ(state.from, back->from);
    EXPECT_EQ(state.validator, back->validator);
    EXPECT_EQ(state.total, back->total);
    EXPECT_EQ(state.held, back->held);

    EXPECT_TRUE(FormatResumeState(ResumeState{L"http://h/a", L"http://h/a\r\nb", L"", 1, 0}).empty())
        << "one line per value";
    // One that does not say where the bytes came from: its own address.
    EXPECT_EQ(L"x", ParseResumeState("url=x\r\nvalidator=v\r\ntotal=10\r\nheld=5\r\n").value_or(state).from);
    for (const std::string& bad :
         {std::string(), std::string("url=x\r\nvalidator=\r\ntotal=0\r\nheld=0\r\n"),
          std::string("url=x\r\nvalidator=\r\ntotal=10\r\n"),
          std::string("url=x\r\nurl=y\r\nvalidator=\r\ntotal=10\r\nheld=0"),
          std::string("url=x\r\nvalidator=\r\ntotal= 10\r\nheld=0"),
          std::string("url=x\r\nvalidator=\r\ntotal=10\r\nheld=0\r\nmore"),
          std::string("url=\r\nvalidator=\r\ntotal=10\r\nheld=0"), std::string(20000, 'u'),
          std::string("url=x\r\nfrom=\r\nvalidator=\r\ntotal=10\r\nheld=0"),
          std::string("url=x\r\nfrom=y\r\nfrom=y\r\nvalidator=\r\ntotal=10\r\nheld=0")})
        EXPECT_FALSE(ParseResumeState(bad).has_value()) << bad.substr(0, 80);
}

TEST(ResumeState, OnlyOurOwnStalePairsAreRemoved)
{
    harness::TempDir dir(L"qvx-stale-");
    auto touch = [&](const std::wstring& name, int daysOld)
    {
        const std::wstring path = dir.Path() + name;
        FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER value{{now.dwLowDateTime, now.dwHighDateTime}};
        value.QuadPart -= static_cast<ULONGLONG>(daysOld) * 24 * 3600 * 10000000ull;
        const FILETIME then{value.LowPart, value.HighPart};
        ::SetFileTime(file.Get(), nullptr, nullptr, &then);
    };
    auto exists = [&](const std::wstring& name) { return harness::FileExists(dir.Path() + name); };
    touch(L"old.exe.downloading", 8);
    touch(L"old.exe.downloading.resume", 8);
    touch(L"recent.exe.downloading", 1);
    touch(L"recent.exe.downloading.resume", 9); // the partial file was written lately
    touch(L"other.exe.downloading", 30);        // no state file: not ours to judge
    RemoveStaleDownloads(dir.Path());
    EXPECT_FALSE(exists(L"old.exe.downloading"));
    EXPECT_FALSE(exists(L"old.exe.downloading.resume"));
    EXPECT_TRUE(exists(L"recent.exe.downloading"));
    EXPECT_TRUE(exists(L"recent.exe.downloading.resume"));
    EXPECT_TRUE(exists(L"other.exe.downloading"));
}

TEST(PackageName, OnlyPlainNamesStayInTheTemporaryFolder)
{
    for (const wchar_t* name : {L"setup.exe", L"Qora 3.0 安装包.exe", L"a..b.exe", L"%2e%2e", L".hidden"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : {L"",         L".",       L"..",           L"...",      L"..\\x.exe",
                                L"a\\b.exe", L"c:x.exe", L"x.exe:stream", L"x?.exe",   L"x*.exe",
                                L"x\".exe",  L"x<y.exe", L"x|y.exe",      L"x\ty.exe", L"trail.",
                                L"trail ",   L"CON",     L"nul.exe",      L"com1.txt", L"LPT9"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    // Devices that Windows reserves and this platform does not.
    for (const wchar_t* name : {L"COM0.exe", L"lpt0", L"COM\u00B9.exe", L"LPT\u00B3 .txt"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    EXPECT_TRUE(IsPlainFileName(L"COM10")) << "only COM0 to COM9 are devices";
}
