// Chaos trials of the real wizard: random server faults and Cancels, each
// trial drawn from a printed seed, judged by the same invariants, and
// counted in the table by what happened in it.
//   chaos_trials --trials N [--seed S] [--keep] --wine-output <file> [--regressions <file>]
// The seeds in the regressions file run first, then N trials from S (a seed
// of the clock when not given). `--seed S` alone replays that one trial.
// A trial's folder (its temporary folder with the wizard's log, and the
// installer's reports) is kept when it failed, or always with --keep.
// Wine's standard error must go to the wine-output file, appended.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "Invariants.h"
#include "TrialRunner.h"
#include "harness/Files.h"
#include "harness/Machine.h"
#include "support/Sha256.h"

using namespace chaos;
using namespace harness;

namespace
{
const size_t kPackageBytes = 1024 * 1024;

// The installer stand-in, padded to a package's size: whatever part of it
// arrives, its start still runs and can say what it is.
bool ServePackage(Served& served, int port)
{
    served.name = "QoraSetup.exe";
    served.file = "chaos-package.exe";
    served.url = "http://127.0.0.1:" + std::to_string(port) + "/chaos/" + served.name;
    served.bytes = ReadBytes(StandInPath(L"fake_installer.exe"));
    if (served.bytes.empty() || served.bytes.size() >= kPackageBytes)
        return false;
    for (size_t i = served.bytes.size(); i < kPackageBytes; ++i)
        served.bytes += static_cast<char>(i % 251);
    Sha256 hash;
    hash.Update(served.bytes.data(), served.bytes.size());
    served.sha256 = Utf8(HexOfDigest(hash.Finish()));
    served.reply =
        "<r status-code=\"1\"><newversionname>Qora\xE4\xBC\x81\xE4\xB8\x9A\xE7\x89\x88</newversionname>"
        "<newversion>3.0</newversion><downloadurl>" +
        served.url + "</downloadurl><size>" + std::to_string(served.bytes.size()) + "</size><sha256>" +
        served.sha256 + "</sha256><desc>chaos</desc></r>";
    ::CreateDirectoryW(ServedFilesFolder().c_str(), nullptr);
    WriteBytes(ServedFilesFolder() + L"\\" + Wide(served.file), served.bytes);
    return ReadBytes(ServedFilesFolder() + L"\\" + Wide(served.file)) == served.bytes;
}

std::vector<uint32_t> RegressionSeeds(const std::wstring& path)
{
    std::vector<uint32_t> seeds;
    for (const std::string& line : Lines(ReadBytes(path)))
        if (!line.empty() && line[0] >= '0' && line[0] <= '9')
            seeds.push_back(static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 10)));
    return seeds;
}

// Outcomes counted per kind of trial: sections and their rows in the order
// they first come.
class Table
{
  public:
    void Count(const std::string& section, const std::string& row, const std::string& outcome)
    {
        auto found = std::find_if(m_sections.begin(), m_sections.end(),
                                  [&](const auto& s) { return s.first == section; });
        if (found == m_sections.end())
            found = m_sections.insert(m_sections.end(), {section, {}});
        auto& rows = found->second;
        auto line = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == row; });
        if (line == rows.end())
            line = rows.insert(rows.end(), {row, {}});
        ++line->second[outcome];
        m_outcomes.insert(outcome);
    }
    void Print() const
    {
        std::printf("\n| trial kind |");
        for (const std::string& outcome : m_outcomes)
            std::printf(" %s |", outcome.c_str());
        std::printf(" trials |\n|---|");
        for (size_t i = 0; i <= m_outcomes.size(); ++i)
            std::printf("---:|");
        std::printf("\n");
        for (const auto& [section, rows] : m_sections)
            for (const auto& [row, counts] : rows)
            {
                int total = 0;
                std::printf("| %s: %s |", section.c_str(), row.c_str());
                for (const std::string& outcome : m_outcomes)
                {
                    const auto found = counts.find(outcome);
                    const int count = found == counts.end() ? 0 : found->second;
                    std::printf(" %d |", count);
                    total += count;
                }
                std::printf(" %d |\n", total);
            }
    }

  private:
    using Counts = std::map<std::string, int>;
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, Counts>>>> m_sections;
    std::set<std::string> m_outcomes;
};

std::string Name(const ServerFault& fault)
{
    if (fault.kind == Fault::WrongLength)
        return fault.longer ? "length too long" : "length too short";
    return chaos::Name(fault.kind);
}

// What the trial saw happen, in a line.
std::string DescribeSeen(const TrialPlan& plan, const Served& served, const Observation& seen)
{
    size_t check = 0, package = 0;
    for (const Answer& answer : seen.answers)
        (answer.package ? package : check) += 1;
    std::string text = "Cancel " + DescribeCancel(plan, seen.cancel) + "; " + std::to_string(check) +
                       " check and " + std::to_string(package) + " package answers";
    const std::vector<StruckFault> struck = StruckFaults(plan, served, seen);
    for (size_t i = 0; i < struck.size(); ++i)
        text += (i ? ", " : "; struck: ") + std::string(struck[i].package ? "" : "check ") +
                Name(struck[i].fault);
    for (const std::string& box : seen.boxes)
        text += "; box \"" + box + "\"";
    return text;
}

// Every trial counts once in each section, in the rows of what happened in
// it: what the user did about Cancel, what the check's answers and the
// package's answers did (a fault counts where it struck, not where it was
// planned), what an earlier run left.
void CountTrial(Table& table, const TrialPlan& plan, const Served& served, const Observation& seen)
{
    const std::string& outcome = seen.outcome;
    table.Count("all", "trials", outcome);
    table.Count("Cancel", DescribeCancel(plan, seen.cancel), outcome);
    const auto asked = [&](bool package)
    {
        return std::any_of(seen.answers.begin(), seen.answers.end(),
                           [&](const Answer& answer) { return answer.package == package; });
    };
    std::set<std::string> check, package;
    size_t packageStruck = 0;
    for (const StruckFault& struck : StruckFaults(plan, served, seen))
    {
        (struck.package ? package : check).insert(Name(struck.fault));
        packageStruck += struck.package ? 1 : 0;
    }
    if (!asked(false))
        table.Count("check", plan.startAtNewVersion ? "not asked (a launcher's record)" : "not asked",
                    outcome);
    else if (check.empty())
        table.Count("check",
                    plan.checkFault.kind == Fault::Trickle ? "answered whole, slowly" : "answered whole",
                    outcome);
    for (const std::string& row : check)
        table.Count("check", row, outcome);
    if (!asked(true))
        table.Count("package", "not asked for", outcome);
    else if (package.empty())
        table.Count("package", "no fault struck", outcome);
    for (const std::string& row : package)
        table.Count("package", row, outcome);
    if (packageStruck >= 6)
        table.Count("package", "six or more faulty answers", outcome);
    table.Count("left by an earlier run", chaos::Name(plan.leftover), outcome);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    int trials = -1;
    uint32_t seed = 0;
    bool seedGiven = false, keep = false;
    std::wstring wineOutput, regressions;
    for (int i = 1; i < argc; i += 2)
    {
        const std::wstring option = argv[i];
        if (option == L"--keep")
            keep = true, --i;
        else if (i + 1 == argc)
            break;
        else if (option == L"--trials")
            trials = _wtoi(argv[i + 1]);
        else if (option == L"--seed")
            seed = static_cast<uint32_t>(std::wcstoul(argv[i + 1], nullptr, 10)), seedGiven = true;
        else if (option == L"--wine-output")
            wineOutput = argv[i + 1];
        else if (option == L"--regressions")
            regressions = argv[i + 1];
    }
    if (trials < 0)
        trials = seedGiven ? 1 : 50;
    if (!seedGiven)
        seed = NextSeed(static_cast<uint32_t>(::GetTickCount64()) ^ ::GetCurrentProcessId());
    FaultServer server;
    Served served;
    // A regressions file named but not there would replay nothing and pass.
    const bool regressionsThere =
        regressions.empty() || ::GetFileAttributesW(regressions.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (wineOutput.empty() || !regressionsThere || !server.IsAvailable() ||
        !ServePackage(served, server.Port()))
    {
        std::printf(
            "usage: chaos_trials --trials N [--seed S] --wine-output <file> [--regressions <file>]\n"
            "(with the test servers running, FAULT_PORT and RUNTIME_DIR set, the regressions file there)\n");
        return 2;
    }

    SystemProxy direct(0, L"");
    SetClientRecord(
        {{L"DisplayName", L"Qora企业版"}, {L"DisplayVersion", L"2.1.0"}, {L"MainVersion", L"2.1"}});
    TrialRunner runner(served, TestProgramFolder() + L"chaos\\", wineOutput);
    std::vector<std::pair<uint32_t, bool>> queue; // seed, is a regression
    if (!seedGiven)
        for (uint32_t kept : RegressionSeeds(regressions))
            queue.push_back({kept, true});
    std::printf("%zu regressions, then %d trials from seed %u (replay one with --seed <seed>)\n",
                queue.size(), trials, seed);
    for (int i = 0; i < trials; ++i, seed = NextSeed(seed))
        queue.push_back({seed, false});

    Table table;
    std::vector<std::string> failures;
    // The positive control: a fault thrown on purpose at a window callback
    // must reach the invariants through the log, or none of the trials'
    // "no fault" means anything.
    {
        TrialPlan control = MakePlan(seed, served.bytes.size(), served.reply.size());
        control.faultProbe = true;
        const std::vector<std::string> broken = CheckInvariants(control, served, runner.Run(control));
        const bool seenIt = std::any_of(broken.begin(), broken.end(),
                                        [](const std::string& why)
                                        { return why.find(kProbeFaultLine) != std::string::npos; });
        std::printf("positive control (seed %u): the fault thrown on purpose was %s\n", control.seed,
                    seenIt ? "seen in the log" : "NOT seen");
        if (!seenIt)
            failures.push_back(std::to_string(control.seed) + " (the positive control's fault went unseen)");
        else
            runner.RemoveTrialFolder(control);
    }
    for (size_t i = 0; i < queue.size(); ++i)
    {
        const TrialPlan plan = MakePlan(queue[i].first, served.bytes.size(), served.reply.size());
        const ULONGLONG start = ::GetTickCount64();
        const Observation seen = runner.Run(plan);
        const std::vector<std::string> broken = CheckInvariants(plan, served, seen);
        std::printf("%s %zu/%zu seed %u: %s -> %s in %.1f s%s\n    seen: %s\n",
                    queue[i].second ? "regression" : "trial", i + 1, queue.size(), plan.seed,
                    Describe(plan).c_str(), seen.outcome.c_str(),
                    static_cast<double>(::GetTickCount64() - start) / 1000.0,
                    broken.empty() ? "" : "  FAILED", DescribeSeen(plan, served, seen).c_str());
        for (const std::string& why : broken)
            std::printf("    %s\n", why.c_str());
        if (broken.empty() && !keep)
            runner.RemoveTrialFolder(plan);
        if (!broken.empty())
            failures.push_back(std::to_string(plan.seed) + " (" + broken.front() + "; files kept in " +
                               Utf8(runner.TrialFolder(plan)) + ")");
        std::fflush(stdout);
        if (!queue[i].second)
            CountTrial(table, plan, served, seen);
    }
    RemoveClientRecord();
    table.Print();
    std::printf("\n%zu of %zu trials broke an invariant\n", failures.size(), queue.size());
    for (const std::string& failure : failures)
        std::printf("  seed %s\n", failure.c_str());
    return failures.empty() ? 0 : 1;
}
