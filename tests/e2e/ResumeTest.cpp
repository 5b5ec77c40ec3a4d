// Transfers that are cut, reset or stalled: the tries that continue them,
// what each kind of server answer to a continued try leads to, the bytes a
// run leaves for the next one, and what the Download page says meanwhile.
#include "UpgradeFixture.h"

#include <regex>
#include <set>

using namespace e2e;

namespace
{
const char kEtag[] = R"("etag": "\"v1\"")";
const wchar_t kResumedText[] = L"从上次中断处继续下载";
const long long kCut = 300000;
const wchar_t kV1[] = L"\"v1\"";

long long BytesServed(const std::vector<Json>& requests)
{
    long long sent = 0;
    for (const Json& request : requests)
        sent += static_cast<long long>(request["bytes_sent"].number);
    return sent;
}

class Resume : public Upgrade
{
};
} // namespace

TEST_F(Resume, LargePackageCutThreeTimesIsServedAboutOnceAndRunsOnce)
{
    SetStallSeconds(2);
    const long long size = 64ll << 20;
    MakeLargePackage("large.exe", size);
    // A close, a reset and a stall, one in each of three tries.
    ScriptPackage({ServedFile("large.exe", Fields({kEtag, R"("close_after_bytes": 20000000)"})),
                   ServedFile("large.exe", Fields({kEtag, R"("reset_after_bytes": 15000000)"})),
                   ServedFile("large.exe", Fields({kEtag, R"("stall_after_bytes": 10000000)"})),
                   ServedFile("large.exe", kEtag)});
    StartClient(L"QOravel.exe");
    RunToDownload(ScriptedPackageUrl());
    ExpectPackageInstalled("large.exe", 180000);

    const std::vector<Json> gets = PackageRequests();
    ASSERT_EQ(4u, gets.size());
    EXPECT_EQ(-1, RangeStart(gets[0]));
    for (size_t i = 1; i < gets.size(); ++i)
    {
        EXPECT_EQ(L"\"v1\"", HeaderValue(gets[i], "If-Range"));
        EXPECT_EQ(206, gets[i]["status"].number);
    }
    EXPECT_EQ(20000000, RangeStart(gets[1])) << "a closed connection loses nothing";
    // A reset may drop what was still on its way.
    EXPECT_GE(RangeStart(gets[2]), 20000000);
    EXPECT_LE(RangeStart(gets[2]), 35000000);
    EXPECT_EQ(RangeStart(gets[2]) + 10000000, RangeStart(gets[3])) << "a stall loses nothing";
    // What the reset destroyed on its way was never held: it counts against
    // the network, not the wizard.
    const long long lostToReset = 35000000 - RangeStart(gets[2]);
    EXPECT_LE(BytesServed(gets) - lostToReset, size * 105 / 100);
}

namespace
{
const char kModified[] = R"("last_modified": "Wed, 01 Jan 2025 00:00:00 GMT")";

struct RetryCase
{
    const char* name;
    std::string firstAnswer;               // fields of the answer that is cut
    std::vector<std::string> retryAnswers; // fields of the answers to the retries
    // What each retry sends as If-Range; null: no range at all, from zero.
    std::vector<const wchar_t*> ifRanges;
    std::vector<int> statuses; // of the answers to the retries
};

class RetryAnswer : public Upgrade, public ::testing::WithParamInterface<RetryCase>
{
};
} // namespace

TEST_P(RetryAnswer, CompletesWithTheServedPackage)
{
    const RetryCase& c = GetParam();
    std::vector<std::string> answers{
        ServedFile(kPackage, Fields({c.firstAnswer, "\"close_after_bytes\": " + std::to_string(kCut)}))};
    for (const std::string& fields : c.retryAnswers)
        answers.push_back(ServedFile(kPackage, fields));
    ScriptPackage(answers);
    StartClient(L"QOravel.exe");
    RunToDownload(ScriptedPackageUrl());
    ExpectPackageInstalled(kPackage);

    const std::vector<Json> gets = PackageRequests();
    ASSERT_EQ(c.statuses.size() + 1, gets.size());
    for (size_t i = 0; i < c.statuses.size(); ++i)
    {
        SCOPED_TRACE("retry " + std::to_string(i + 1));
        EXPECT_EQ(c.ifRanges[i] ? kCut : -1, RangeStart(gets[i + 1]));
        EXPECT_EQ(c.ifRanges[i] ? c.ifRanges[i] : L"", HeaderValue(gets[i + 1], "If-Range"));
        EXPECT_EQ(c.statuses[i], gets[i + 1]["status"].number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Resume, RetryAnswer,
    ::testing::Values(
        RetryCase{"Continued", kEtag, {kEtag}, {kV1}, {206}},
        RetryCase{"ContinuedByDate", kModified, {kModified}, {L"Wed, 01 Jan 2025 00:00:00 GMT"}, {206}},
        RetryCase{"RangeIgnored", kEtag, {Fields({kEtag, R"("range_answer": "ignore")"})}, {kV1}, {200}},
        RetryCase{"EtagChanged", kEtag, {R"("etag": "\"v2\"")"}, {kV1}, {200}},
        // An intermediary that drops If-Range sends another entity's tail:
        // it is not appended, and the package starts again from zero.
        RetryCase{"OtherEntitysTail",
                  kEtag,
                  {R"("etag": "\"v2\"", "range_answer": "skip_if_range")", R"("etag": "\"v2\"")"},
                  {kV1, nullptr},
                  {206, 200}},
        RetryCase{"ValidatorsStripped",
                  kEtag,
                  {R"("range_answer": "skip_if_range")", ""},
                  {kV1, nullptr},
                  {206, 200}},
        RetryCase{"NoValidator", "", {""}, {nullptr}, {200}},
        // A range that starts elsewhere is a failed try; the next one asks again.
        RetryCase{"MisansweredRange",
                  kEtag,
                  {Fields({kEtag, R"("range_answer": "wrong_start")"}), kEtag},
                  {kV1, kV1},
                  {206, 206}}),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

namespace
{
struct TrickleCase
{
    const char* name;
    std::string first, later; // fields of the first answer and of every later one
    bool completes;
};

class Trickle : public Upgrade, public ::testing::WithParamInterface<TrickleCase>
{
};
} // namespace

// What counts is what each try adds: one byte per connection ends the run
// after five waits; tries of 10 MiB that restart below an earlier mark go on
// at once to the end.
TEST_P(Trickle, EachTryIsJudgedByWhatItAdds)
{
    const TrickleCase& c = GetParam();
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_FIRST_RETRY_MS", L"50");
    MakeLargePackage("trickle.exe", 64 << 20);
    ScriptPackage({ServedFile("trickle.exe", c.first), ServedFile("trickle.exe", c.later)}, true);
    StartClient(L"QOravel.exe");
    RunToDownload(ScriptedPackageUrl());
    if (c.completes)
        ExpectPackageInstalled("trickle.exe", 120000);
    else
        ASSERT_NE(nullptr, WaitForMessageBox(m_wizard.Id(), L"QVXLiveUpdate", 60000));
    if (!c.completes)
        ExpectDownloadError(true);
    // Progress is rewarded: tries that bring much follow at once.
    EXPECT_EQ(c.completes, RunLog().find("before retry") == std::string::npos) << RunLog();
}

INSTANTIATE_TEST_SUITE_P(
    Resume, Trickle,
    ::testing::Values(TrickleCase{"OneBytePerConnection", Fields({kEtag, R"("close_after_bytes": 1)"}),
                                  Fields({kEtag, R"("close_after_bytes": 1)"}), false},
                      TrickleCase{"TenMiBPerTryAfterARestart",
                                  Fields({kEtag, R"("close_after_bytes": 62914560)"}),
                                  R"("etag": "\"v2\"", "close_after_bytes": 10485760)", true}),
    [](const ::testing::TestParamInfo<TrickleCase>& info) { return std::string(info.param.name); });

TEST_F(Resume, RetryWaitCountsDownAndAConfirmedCancelEndsItAtOnce)
{
    ScriptPackage({ServedFile(kPackage, Fields({kEtag, "\"close_after_bytes\": " + std::to_string(kCut)})),
                   ServedFile(kPackage, Fields({kEtag, R"("close_after_bytes": 0)"}))},
                  true);
    RunToDownload(ScriptedPackageUrl());
    HWND status = Item(DownloadPage(), kDownloadStatus);
    std::set<std::wstring> seen;
    // Into the fourth wait, of 8 s.
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            const std::wstring text = TextOf(status);
            seen.insert(text);
            return text.find(L"（第 4 次，共 5 次）") != std::wstring::npos;
        },
        30000));
    for (const wchar_t* text :
         {L"连接中断，1 秒后重试（第 1 次，共 5 次）", L"连接中断，2 秒后重试（第 2 次，共 5 次）",
          L"连接中断，1 秒后重试（第 2 次，共 5 次）", L"连接中断，4 秒后重试（第 3 次，共 5 次）"})
        EXPECT_EQ(1u, seen.count(text)) << ::testing::PrintToString(std::wstring(text));
    const int held = static_cast<int>(kCut * 10000.0 / static_cast<double>(ServedSize(kPackage)));
    EXPECT_EQ(held, ProgressOf(Item(DownloadPage(), kDownloadProgress))) << "the bar keeps its place";

    CancelAndConfirm();
    EXPECT_TRUE(m_wizard.WaitForExit(3000)) << "the wizard waited out the 8 s";
    EXPECT_EQ(0u, m_wizard.ExitCode());
    EXPECT_EQ(4u, PackageRequests().size())
        << "the first, which brought less than a MiB, and three after waits";
    EXPECT_EQ(kCut, FileSize(PartialPath())) << "the bytes held stay for the next run";
    EXPECT_TRUE(FileExists(ResumeStatePath()));
}

namespace
{
enum class NextRun
{
    SameAddress,
    FromTheMirror, // both runs offer a dead address and the mirror that served the bytes
    OtherAddress,
    OtherTotal,
    WeakValidator, // the same address, whose ETag is weak: no validator at all
};

class AcrossRuns : public Upgrade, public ::testing::WithParamInterface<NextRun>
{
};

std::string NextRunName(const ::testing::TestParamInfo<NextRun>& info)
{
    const char* names[] = {"SameAddress", "FromTheMirror", "OtherAddress", "OtherTotal", "WeakValidator"};
    return names[static_cast<int>(info.param)];
}
} // namespace

TEST_P(AcrossRuns, CancelledRunLeavesItsBytesToTheNextRunOfTheSamePackage)
{
    const long long size = ServedSize(kPackage), half = size / 2;
    const bool weak = GetParam() == NextRun::WeakValidator, mirror = GetParam() == NextRun::FromTheMirror;
    const std::string offered =
        mirror ? PackageUrl("http", ServerPort("NO_LISTENER_PORT")) : ScriptedPackageUrl();
    const std::string mirrors = mirror ? "<mirror>" + ScriptedPackageUrl() + "</mirror>" : "";
    const std::string etag = weak ? R"("etag": "W/\"v1\"")" : kEtag;
    ScriptPackage({ServedFile(
        kPackage, Fields({etag, "\"hold_after_bytes\": " + std::to_string(half), R"("hold_id": "half")"}))});
    RunToDownload(offered, "", mirrors);
    ASSERT_TRUE(WaitUntil([&] { return FileSize(PartialPath()) == half; }, 15000));
    CancelAndConfirm();
    ExpectEndsPromptly();
    EXPECT_EQ(weak ? -1 : half, FileSize(PartialPath()));
    EXPECT_NE(weak, FileExists(ResumeStatePath()));
    // The Cancel recorded the bytes held, on the disk.
    const std::string state = ReadBytes(ResumeStatePath());
    for (const std::string& line :
         {"url=" + offered, "from=" + ScriptedPackageUrl(), std::string("validator=\"v1\""),
          "total=" + std::to_string(size), "held=" + std::to_string(half)})
        EXPECT_TRUE(weak || state.find(line + "\r\n") != std::string::npos) << state;

    m_server.Reset();
    std::string url = offered, path = kScriptedPackagePath;
    if (GetParam() == NextRun::SameAddress || mirror || weak)
        ScriptPackage({ServedFile(kPackage, etag)});
    else if (GetParam() == NextRun::OtherAddress)
        url = PackageUrl(), path = std::string("/files/") + kPackage;
    else
        ScriptPackage({ServedFile(kPackage, Fields({kEtag, R"("range_answer": "wrong_total")"})),
                       ServedFile(kPackage, kEtag)});
    StartClient(L"QOravel.exe");
    RunToDownload(url, "", mirrors);
    if (GetParam() == NextRun::SameAddress)
    {
        EXPECT_TRUE(WaitUntil([&] { return TextOf(Item(DownloadPage(), kDownloadStatus)) == kResumedText; }));
    }
    ExpectPackageInstalled(kPackage);

    const std::vector<Json> gets = PackageRequests(path);
    switch (GetParam())
    {
        case NextRun::SameAddress:
        case NextRun::FromTheMirror: // where they came from, not at the dead address
            ASSERT_EQ(1u, gets.size());
            EXPECT_EQ(half, RangeStart(gets[0]));
            EXPECT_EQ(L"\"v1\"", HeaderValue(gets[0], "If-Range"));
            EXPECT_EQ(size - half, BytesServed(gets));
            break;
        case NextRun::OtherAddress:
        case NextRun::WeakValidator:
            ASSERT_EQ(1u, gets.size());
            EXPECT_EQ(-1, RangeStart(gets[0]))
                << "nothing of another address, or under a weak tag, is continued";
            break;
        case NextRun::OtherTotal:
            ASSERT_EQ(2u, gets.size());
            EXPECT_EQ(half, RangeStart(gets[0]));
            EXPECT_EQ(-1, RangeStart(gets[1])) << "bytes of another length start again from zero";
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Resume, AcrossRuns,
                         ::testing::Values(NextRun::SameAddress, NextRun::FromTheMirror,
                                           NextRun::OtherAddress, NextRun::OtherTotal,
                                           NextRun::WeakValidator),
                         NextRunName);

TEST_F(Resume, StatusLineShowsBytesSpeedAndTimeLeft)
{
    const long long size = 5 << 19; // 2.5 MiB
    const double rate = 512 * 1024;
    MakeLargePackage("paced.exe", size);
    ScriptPackage({ServedFile("paced.exe", R"("rate_bytes_per_s": 524288)")});
    RunToDownload(ScriptedPackageUrl());
    HWND status = Item(DownloadPage(), kDownloadStatus);
    struct Shown
    {
        ULONGLONG at;
        std::wstring text;
    };
    std::vector<Shown> shown;
    WaitUntil(
        [&]
        {
            const std::wstring text = TextOf(status);
            if (!text.empty() && (shown.empty() || shown.back().text != text))
                shown.push_back({::GetTickCount64(), text});
            return !m_wizard.IsRunning() || text.find(L"2.5 MB / 2.5 MB") != std::wstring::npos;
        },
        30000);
    ExpectEndedAfterInstalling();

    const std::wregex form(L"已下载 ([0-9.]+) (B|KB|MB) / 2\\.5 MB(，速度 ([0-9.]+) (B|KB|MB)/s(，剩余约 "
                           L"([0-9]+) (秒|分钟))?)?");
    auto bytes = [](const std::wstring& number, const std::wstring& unit) {
        return std::stod(number) * (unit == L"MB" ? 1048576 : unit == L"KB" ? 1024 : 1);
    };
    ASSERT_GE(shown.size(), 4u);
    double lastHeld = 0;
    int judged = 0;
    for (const Shown& s : shown)
    {
        SCOPED_TRACE(::testing::PrintToString(s.text));
        std::wsmatch m;
        ASSERT_TRUE(std::regex_match(s.text, m, form));
        const double held = bytes(m[1], m[2]);
        EXPECT_GE(held, lastHeld);
        lastHeld = held;
        // Once the speed has a few seconds behind it, it and the time left fit the pace.
        if (s.at - shown.front().at < 2000 || held >= size)
            continue;
        ++judged;
        ASSERT_TRUE(m[3].matched) << "no speed";
        const double speed = bytes(m[4], m[5]);
        EXPECT_GT(speed, rate / 2);
        EXPECT_LT(speed, rate * 2);
        ASSERT_TRUE(m[8] == L"秒") << "no time left in seconds";
        const double left = std::stod(m[7]), expected = (size - held) / rate;
        EXPECT_NEAR(expected, left, 1.5 + expected / 2);
    }
    EXPECT_GE(judged, 2);
    const double seconds = (shown.back().at - shown.front().at) / 1000.0;
    EXPECT_LE(shown.size(), 4 * seconds + 2) << "more than 4 changes a second";
}
