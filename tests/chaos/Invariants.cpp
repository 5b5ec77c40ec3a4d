#include "Invariants.h"

#include <algorithm>
#include <cctype>

namespace chaos
{
namespace
{
int CountOf(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The value after "key=" in a line of `text`, up to the blank or line end.
std::string Field(const std::string& text, const std::string& key)
{
    const size_t at = text.find(key + "=");
    if (at == std::string::npos)
        return std::string();
    const size_t from = at + key.size() + 1;
    return text.substr(from, text.find_first_of(" \r\n", from) - from);
}

// Lines of Wine's output that tell of a crash: the unhandled-exception
// report (also what starts the debugger), a backtrace, an exception that
// reached Wine's handler, an assertion.
std::vector<std::string> CrashLines(const std::string& output)
{
    std::vector<std::string> found;
    size_t start = 0;
    while (start < output.size())
    {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        const std::string lower = Lower(line);
        for (const char* mark : {"unhandled", "backtrace", "err:seh", "assertion", "stack overflow"})
            if (lower.find(mark) != std::string::npos)
            {
                found.push_back(line);
                break;
            }
        start = end + 1;
    }
    return found;
}

// The lines of the run log that tell of a fault the wizard stopped: an
// exception caught at a window callback or a thread's entry, a control it
// could not bind.
std::vector<std::string> FaultLines(const std::string& log)
{
    std::vector<std::string> found;
    for (size_t at = log.find("] fault: "); at != std::string::npos; at = log.find("] fault: ", at + 1))
        found.push_back(log.substr(at + 9, log.find_first_of("\r\n", at) - at - 9));
    return found;
}

// A box the wizard shows of its own carries its title; one the system shows
// on its behalf (the shell's when a program cannot start, say) another.
bool IsWizardsOwnBox(const std::string& box)
{
    return box.rfind("QVXLiveUpdate: ", 0) == 0;
}

const char kNoValidator[] = "kept although the server gave no validator";
const char kLone[] = "one of the pair without the other";
const char kStateCut[] = "a state cut short: ";

// A partial package and its state that the next run could continue: both
// there, for this address and validator, and the bytes a prefix of the
// package no longer than the length the server announced.
std::string WhyNotAResumablePair(const Served& served, const std::string& validator,
                                 const std::map<std::string, std::string>& temp)
{
    const auto partial = temp.find(served.name + ".downloading");
    const auto state = temp.find(served.name + ".downloading.resume");
    if (validator.empty())
        return kNoValidator;
    if (partial == temp.end() || state == temp.end())
        return kLone;
    const std::string& text = state->second;
    const std::string total = Field(text, "total");
    if (text.find("\r\nheld=") == std::string::npos || text.back() != '\n')
        return kStateCut + std::to_string(text.size()) + " bytes";
    if (Field(text, "url") != served.url ||
        text.find("validator=" + validator + "\r\n") == std::string::npos || total.empty() ||
        std::stoull(total) < partial->second.size())
        return "a state that does not name this package: " + text;
    if (partial->second.size() > served.bytes.size() ||
        served.bytes.compare(0, partial->second.size(), partial->second) != 0)
        return "a partial file of " + std::to_string(partial->second.size()) +
               " bytes that is not the package's start";
    return std::string();
}

} // namespace

const char kProbeFaultLine[] = "exception stopped at a window callback";

std::vector<std::string> CheckInvariants(const TrialPlan& plan, const Served& served, const Observation& seen)
{
    std::vector<std::string> broken;
    for (const std::string& line : CrashLines(seen.wineOutput))
        broken.push_back("Wine reported: " + line);
    // What a wizard stopped from outside leaves behind says nothing more.
    if (!seen.ended)
    {
        broken.push_back("the wizard had not ended after " + std::to_string(seen.boundMs / 1000) + " s");
        return broken;
    }
    if (seen.exitCode != 0)
        broken.push_back("the wizard ended with exit code " + std::to_string(seen.exitCode));
    // The log is the one witness of faults the wizard stopped: without it,
    // or without its start and end, nothing said "no fault".
    if (seen.log.find("] start: ") == std::string::npos || seen.log.find("] end: ") == std::string::npos)
        broken.push_back("the wizard's log lacks its start or its end line");
    if (seen.outcome == "other")
        broken.push_back("it ended without installing, without a Finish page and without a Cancel");
    for (const std::string& line : FaultLines(seen.log))
        broken.push_back("the wizard's log tells of a fault: " + line);
    for (const std::string& box : seen.boxes)
        if (!IsWizardsOwnBox(box))
            broken.push_back("a box the wizard does not show of its own: " + box);
    const CancelSeen& cancel = seen.cancel;
    const bool userCancelled = cancel.pressed && (!cancel.asked || cancel.answer == "Yes");
    if (seen.outcome == "cancelled" && !userCancelled)
        broken.push_back("ended cancelled, but the user confirmed no Cancel");
    // Cancel works: where it asks, the question comes (or the wizard ends,
    // or the installation it cannot stop begins) within 2 s...
    const auto within = [](long ms) { return ms >= 0 && ms <= 2000; };
    if (cancel.askable && !within(cancel.questionAfterMs) && !within(cancel.endedAfterMs) &&
        !within(cancel.installerAfterMs))
        broken.push_back("a Cancel pressed on the check or the download brought no question within 2 s");
    // ... and a Yes given before the installer started ends the wizard
    // cancelled, unless the installation had been claimed first.
    const bool claimedFirst =
        seen.log.find("cancel: ignored, the installation has begun") != std::string::npos ||
        seen.log.find("cancel: not confirmed") != std::string::npos;
    if (cancel.answer == "Yes" && !cancel.installerBeforeAnswer && seen.outcome != "cancelled" &&
        !(seen.outcome == "installed" && claimedFirst))
        broken.push_back("Yes to the Cancel question before the installer started, yet it ended " +
                         seen.outcome);

    for (const std::string& name : seen.settingsFolder)
        broken.push_back("left in the client's settings folder: " + name);

    // The installer: at most once, the whole package, and ended while the
    // wizard still waited for it.
    const int runs = static_cast<int>(seen.installerRuns.size());
    if (runs > 1)
        broken.push_back("the installer ran " + std::to_string(runs) + " times");
    if (CountOf(seen.log, "install: running") != runs)
        broken.push_back("the install step began " + std::to_string(CountOf(seen.log, "install: running")) +
                         " times, the installer ran " + std::to_string(runs) + " times");
    if (seen.installerEnds.size() != seen.installerRuns.size())
        broken.push_back("an installer never reported its end (still running, or killed)");
    for (const std::string& end : seen.installerEnds)
    {
        if (Field(end, "size") != std::to_string(served.bytes.size()) ||
            Field(end, "sha256") != served.sha256)
            broken.push_back("a package other than the one served was run: " + end);
        if (Field(end, "parent") != std::to_string(seen.wizardPid) || Field(end, "parent-alive") != "1")
            broken.push_back("the installer outlived the wizard's wait: " + end);
    }

    // The temporary folder: the log, the installer's result, and the pair
    // resume keeps on purpose, or what the trial put there untouched.
    const std::map<std::string, std::string>& temp = seen.temp;
    const bool pairLeft =
        temp.count(served.name + ".downloading") || temp.count(served.name + ".downloading.resume");
    bool pairAsPlanted = true;
    for (const char* suffix : {".downloading", ".downloading.resume"})
    {
        const auto now = temp.find(served.name + suffix);
        const auto before = seen.planted.find(served.name + suffix);
        pairAsPlanted = pairAsPlanted && (now == temp.end()) == (before == seen.planted.end()) &&
                        (now == temp.end() || now->second == before->second);
    }
    if (pairLeft && runs > 0)
        broken.push_back(std::string("a partial download was kept although the package was installed") +
                         (pairAsPlanted ? " (the earlier run's, untouched)" : ""));
    else if (pairLeft && !pairAsPlanted)
    {
        if (const std::string why = WhyNotAResumablePair(served, ValidatorValue(plan), temp); !why.empty())
            broken.push_back("partial download left in the temporary folder: " + why);
    }
    for (const std::string& folder : seen.tempFolders)
        broken.push_back("a folder left in the temporary folder: " + folder);
    for (const auto& [name, bytes] : temp)
    {
        const bool expected = name == "QVXLiveUpdate.log" || name == "QVXLiveUpdate.log.old" ||
                              (name == "QVXLivaUpdate.ini" && runs > 0) ||
                              name == served.name + ".downloading" ||
                              name == served.name + ".downloading.resume";
        if (!expected)
            broken.push_back("left in the temporary folder: " + name + " (" + std::to_string(bytes.size()) +
                             " bytes)");
    }

    // Nothing in the way: no fault struck, no Cancel taken.
    if (StruckFaults(plan, served, seen).empty() && !userCancelled && seen.outcome != "installed")
        broken.push_back("no fault struck and no Cancel was confirmed, yet it ended " + seen.outcome);
    return broken;
}

std::vector<StruckFault> StruckFaults(const TrialPlan& plan, const Served& served, const Observation& seen)
{
    std::vector<StruckFault> struck;
    for (const Answer& answer : seen.answers)
    {
        const std::vector<ServerFault>& faults =
            answer.package ? plan.downloadFaults : std::vector<ServerFault>{plan.checkFault};
        if (answer.index < 0 || static_cast<size_t>(answer.index) >= faults.size())
            continue;
        const ServerFault& fault = faults[static_cast<size_t>(answer.index)];
        // A cut, stall or reset strikes only inside the body it was meant for.
        const uint64_t body = !answer.package        ? served.reply.size()
                              : answer.status == 206 ? served.bytes.size() - answer.rangeStart
                                                     : served.bytes.size();
        // ... and only once the server had sent the bytes before it.
        if (fault.kind == Fault::Status500 || fault.kind == Fault::WrongLength ||
            (fault.kind != Fault::None && fault.offset < body && answer.bytesSent >= fault.offset))
            struck.push_back({answer.package, fault});
    }
    return struck;
}

std::string DescribeCancel(const TrialPlan& plan, const CancelSeen& cancel)
{
    if (!cancel.pressed)
        return plan.moment == Moment::None ? "none planned"
                                           : "not pressed (planned: " + std::string(Name(plan.moment)) + ")";
    std::string text = "pressed " + cancel.during;
    if (!cancel.asked)
        return text + ", not asked";
    return text + ", asked, " + (cancel.answer.empty() ? "the question went unanswered" : cancel.answer);
}
} // namespace chaos
