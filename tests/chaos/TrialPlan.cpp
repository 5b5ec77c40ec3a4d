#include "TrialPlan.h"

#include <algorithm>
#include <random>

#include "harness/Json.h"

namespace chaos
{
namespace
{
// The retry waits and the stall time the wizard is run with.
const unsigned long kRetryWaitMs[] = {1000, 2000, 4000, 8000, 16000};
const unsigned long kStallMs = 1000;
const int kMaxRetries = 5;

// Draws from the standard's fully specified engine with our own arithmetic,
// so that a seed means the same trial with any library; each statement
// draws at most once, so that it means the same with any compiler.
class Dice
{
  public:
    explicit Dice(uint32_t seed) : m_engine(seed) {}
    uint64_t Below(uint64_t n) { return n ? Wide() % n : 0; }
    int Between(int low, int high)
    {
        return low + static_cast<int>(Below(static_cast<uint64_t>(high - low + 1)));
    }
    bool Percent(int p) { return Below(100) < static_cast<uint64_t>(p); }
    // An index into `weights`, each chosen in proportion to its weight.
    size_t Weighted(std::initializer_list<int> weights)
    {
        int total = 0;
        for (int w : weights)
            total += w;
        int roll = static_cast<int>(Below(static_cast<uint64_t>(total)));
        size_t index = 0;
        for (int w : weights)
        {
            if (roll < w)
                return index;
            roll -= w;
            ++index;
        }
        return 0;
    }

  private:
    uint64_t Wide()
    {
        const uint64_t high = m_engine();
        const uint64_t low = m_engine();
        return high << 32 | low;
    }
    std::mt19937 m_engine;
};

ServerFault DrawFault(Dice& dice, uint64_t bodySize, bool afterBytesOnly, bool check)
{
    static const Fault kinds[] = {Fault::Reset,       Fault::Cut,       Fault::Stall,
                                  Fault::WrongLength, Fault::Status500, Fault::Trickle};
    ServerFault fault;
    fault.kind = afterBytesOnly ? kinds[dice.Weighted({1, 1, 1, 0, 0, 1})]
                                : kinds[dice.Weighted({20, 20, 18, 14, 14, 14})];
    // Now and then right after the headers, else anywhere in the body.
    fault.offset = dice.Percent(10) ? 0 : dice.Below(bodySize);
    if (fault.kind == Fault::WrongLength)
    {
        // Announcing more than is sent makes every later range unanswerable
        // (all tries are spent): rarer, it costs half a minute.
        fault.longer = dice.Percent(check ? 50 : 20);
        if (!fault.longer)
            fault.offset = std::max<uint64_t>(1, fault.offset);
    }
    if (fault.kind == Fault::Trickle)
    {
        fault.rateBytesPerS = check ? dice.Between(150, 400) : dice.Between(16, 64) * 1024;
        // The check's reply comes whole, slowly; the package's trickle is cut
        // within about two seconds.
        fault.offset = check ? bodySize + 1 : dice.Below(static_cast<uint64_t>(fault.rateBytesPerS) * 2);
    }
    return fault;
}

// The response fields that make the fault; `length` is the body's length.
std::string FaultFields(const ServerFault& fault, uint64_t length)
{
    const std::string at = std::to_string(fault.offset);
    switch (fault.kind)
    {
        case Fault::None:
            return "";
        case Fault::Reset:
            return ", \"reset_after_bytes\": " + at;
        case Fault::Cut:
            return ", \"close_after_bytes\": " + at;
        case Fault::Stall:
            return ", \"stall_after_bytes\": " + at + ", \"stall_ms\": 20000";
        case Fault::WrongLength:
            return ", \"content_length\": " +
                   std::to_string(fault.longer ? length + 1 + fault.offset % 1000 : fault.offset);
        case Fault::Status500:
            return ", \"status\": 500";
        case Fault::Trickle:
            // The pace itself is the answer's; the cut may lie beyond the body.
            return ", \"close_after_bytes\": " + at;
    }
    return "";
}
} // namespace

uint32_t NextSeed(uint32_t seed)
{
    // splitmix32-style mixing: neighbouring seeds give unrelated trials.
    uint32_t z = seed + 0x9E3779B9u;
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
}

TrialPlan MakePlan(uint32_t seed, uint64_t packageSize, size_t replySize)
{
    // A seed kept as a regression must go on meaning the same trial: new
    // draws go after all of these.
    Dice dice(seed);
    TrialPlan plan;
    plan.seed = seed;
    plan.startAtNewVersion = dice.Percent(25);
    plan.moment = static_cast<Moment>(dice.Weighted({30, 15, 20, 15, 20}));
    if (plan.moment == Moment::Check && plan.startAtNewVersion)
        plan.moment = Moment::Download;
    // A Cancel planned for later than the check needs a check that succeeds.
    if (!plan.startAtNewVersion && plan.moment <= Moment::Check && dice.Percent(60))
        plan.checkFault = DrawFault(dice, replySize, false, true);
    plan.checkDelayMs = plan.checkFault.kind == Fault::Trickle ? 0 : dice.Between(0, 500);

    plan.validator = std::vector<std::string>{"etag", "last-modified", ""}[dice.Weighted({50, 25, 25})];
    plan.leftover = static_cast<Leftover>(dice.Weighted({60, 20, 5, 5, 5, 5}));
    if (plan.leftover == Leftover::Matching && plan.validator.empty())
        plan.leftover = Leftover::None;
    plan.leftoverBytes = 1 + dice.Below(packageSize - 1);
    plan.rateBytesPerS = dice.Percent(40) ? 0 : dice.Between(256, 2048) * 1024;

    static const size_t kFaultCounts[] = {0, 1, 2, 3, 6};
    size_t faults = kFaultCounts[dice.Weighted({35, 33, 20, 9, 3})];
    // Kept so that earlier seeds keep their draws (see the end).
    if (plan.moment == Moment::RetryWait)
        faults = std::max<size_t>(faults, 1);
    for (size_t i = 0; i < faults; ++i)
    {
        // Later answers are ranges, mostly shorter than the whole.
        const uint64_t body = i == 0 ? packageSize : packageSize / 2;
        plan.downloadFaults.push_back(
            DrawFault(dice, body, plan.moment == Moment::RetryWait && i == 0, false));
    }
    plan.way = static_cast<CancelWay>(dice.Below(3));
    plan.confirm = dice.Percent(70);
    const int transferMs =
        plan.rateBytesPerS ? static_cast<int>(packageSize * 1000 / static_cast<uint64_t>(plan.rateBytesPerS))
                           : 100;
    switch (plan.moment)
    {
        case Moment::Check:
            plan.cancelDelayMs =
                dice.Between(0, plan.checkFault.kind == Fault::Trickle ? 2000 : plan.checkDelayMs + 50);
            break;
        case Moment::Download:
            plan.cancelDelayMs = dice.Between(0, transferMs);
            break;
        case Moment::RetryWait:
            plan.cancelDelayMs = dice.Between(0, 900);
            break;
        default:
            break;
    }
    plan.triggerProgress = dice.Between(9000, 10000);
    plan.answerDelayMs = dice.Between(0, 400);
    plan.installerHoldMs = dice.Between(0, 800);
    // Only a try that brings nothing is waited for (one that gets further is
    // tried again at once): a Cancel meant for a retry wait gets such a try
    // first. The answer's headers come, then nothing (a stall or a cut), so
    // that the answer is taken and the try counts as a retry.
    if (plan.moment == Moment::RetryWait)
    {
        ServerFault nothing;
        nothing.kind = dice.Percent(50) ? Fault::Stall : Fault::Cut;
        plan.downloadFaults.insert(plan.downloadFaults.begin(), nothing);
    }
    return plan;
}

std::string CheckScript(const TrialPlan& plan, const std::string& replyBody)
{
    const std::string pace = plan.checkFault.kind == Fault::Trickle
                                 ? ", \"rate_bytes_per_s\": " + std::to_string(plan.checkFault.rateBytesPerS)
                                 : std::string();
    return R"({"path": "/gdisp.xml", "repeat_last": true, "responses": [{"body": )" +
           harness::JsonString(replyBody) + R"(, "delay_before_headers_ms": )" +
           std::to_string(plan.checkDelayMs) + pace + FaultFields(plan.checkFault, replyBody.size()) + "}]}";
}

std::string ValidatorValue(const TrialPlan& plan)
{
    if (plan.validator == "etag")
        return "\"chaos-" + std::to_string(plan.seed) + "\"";
    if (plan.validator == "last-modified")
        return "Mon, 07 Dec 2026 09:00:00 GMT";
    return "";
}

std::string PackageScript(const TrialPlan& plan, const std::string& path, const std::string& packageFile,
                          uint64_t packageSize)
{
    // Every answer is the package (or the range of it asked for) with the
    // plan's validator; a trickle sets its own pace.
    const auto answer = [&](int rate)
    {
        std::string fields = R"({"body_file": )" + harness::JsonString(packageFile) + R"(, "ranges": true)";
        if (!plan.validator.empty())
            fields += std::string(plan.validator == "etag" ? ", \"etag\": " : ", \"last_modified\": ") +
                      harness::JsonString(ValidatorValue(plan));
        if (rate)
            fields += ", \"rate_bytes_per_s\": " + std::to_string(rate);
        return fields;
    };
    std::string responses;
    for (const ServerFault& fault : plan.downloadFaults)
        responses += answer(fault.kind == Fault::Trickle ? fault.rateBytesPerS : plan.rateBytesPerS) +
                     FaultFields(fault, packageSize) + "}, ";
    return R"({"path": )" + harness::JsonString(path) + R"(, "repeat_last": true, "responses": [)" +
           responses + answer(plan.rateBytesPerS) + "}]}";
}

unsigned long BoundMs(const TrialPlan& plan, uint64_t packageSize)
{
    unsigned long ms = 15000 + static_cast<unsigned long>(plan.checkDelayMs) + 2 * kStallMs;
    if (plan.checkFault.kind == Fault::Trickle)
        ms += 4000;
    const unsigned long transferMs =
        plan.rateBytesPerS
            ? static_cast<unsigned long>(packageSize * 1000 / static_cast<uint64_t>(plan.rateBytesPerS))
            : 1000;
    // An answer that announces more than the package leaves nothing any
    // later range could answer: every retry is spent.
    size_t retries = std::min<size_t>(plan.downloadFaults.size(), kMaxRetries);
    for (const ServerFault& fault : plan.downloadFaults)
        if (fault.kind == Fault::WrongLength && fault.longer)
            retries = kMaxRetries;
    ms += transferMs * static_cast<unsigned long>(1 + retries);
    for (size_t i = 0; i < retries; ++i)
        ms += kRetryWaitMs[i] + kStallMs + 2000;
    return ms + static_cast<unsigned long>(plan.cancelDelayMs + plan.answerDelayMs + plan.installerHoldMs);
}

namespace
{
std::string Describe(const ServerFault& fault)
{
    std::string text = Name(fault.kind);
    if (fault.kind == Fault::WrongLength)
        text += fault.longer ? " (longer)" : " (shorter)";
    if (fault.kind == Fault::Trickle)
        text += " " + std::to_string(fault.rateBytesPerS) + " B/s";
    if (fault.kind != Fault::Status500)
        text += " @" + std::to_string(fault.offset);
    return text;
}
} // namespace

std::string Describe(const TrialPlan& plan)
{
    std::string text = plan.startAtNewVersion ? "from the offer" : "check ";
    if (!plan.startAtNewVersion)
        text += plan.checkFault.kind == Fault::None ? "after " + std::to_string(plan.checkDelayMs) + " ms"
                                                    : Describe(plan.checkFault);
    text +=
        "; package " +
        (plan.validator.empty() ? std::string("without validator") : "with " + plan.validator) +
        (plan.rateBytesPerS ? " at " + std::to_string(plan.rateBytesPerS / 1024) + " KiB/s" : std::string());
    for (size_t i = 0; i < plan.downloadFaults.size(); ++i)
        text += (i ? ", " : ", faults: ") + Describe(plan.downloadFaults[i]);
    if (plan.leftover != Leftover::None)
        text += "; earlier run left " + std::string(Name(plan.leftover)) + " of " +
                std::to_string(plan.leftoverBytes);
    if (plan.moment != Moment::None)
        text +=
            std::string("; ") + Name(plan.moment) +
            (plan.moment == Moment::Install ? " (bar at " + std::to_string(plan.triggerProgress / 100) + " %)"
                                            : " +" + std::to_string(plan.cancelDelayMs) + " ms") +
            " by " + Name(plan.way) + ", " + (plan.confirm ? "Yes" : "No") + " after " +
            std::to_string(plan.answerDelayMs) + " ms";
    return text;
}

const char* Name(Fault fault)
{
    static const char* names[] = {"none", "reset", "cut", "stall", "wrong length", "500", "slow trickle"};
    return names[static_cast<int>(fault)];
}

const char* Name(Moment moment)
{
    static const char* names[] = {"no Cancel", "Cancel during the check", "Cancel during the download",
                                  "Cancel during a retry wait", "Cancel at the install step"};
    return names[static_cast<int>(moment)];
}

const char* Name(CancelWay way)
{
    static const char* names[] = {"button", "Esc", "close box"};
    return names[static_cast<int>(way)];
}

const char* Name(Leftover leftover)
{
    static const char* names[] = {"none",
                                  "matching partial",
                                  "partial of a changed package",
                                  "partial of another length",
                                  "unreadable state",
                                  "partial without state"};
    return names[static_cast<int>(leftover)];
}
} // namespace chaos
