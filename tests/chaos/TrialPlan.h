#pragma once
// One chaos trial, drawn from its seed: how the wizard is started, what the
// servers do wrong and when, what an earlier run left behind, and when the
// user presses Cancel and how they answer. The same seed gives the same plan.

#include <cstdint>
#include <string>
#include <vector>

#include "harness/Window.h"

namespace chaos
{
using harness::CancelWay;

enum class Fault
{
    None,
    Reset,       // RST after some body bytes
    Cut,         // FIN after some body bytes
    Stall,       // nothing more, connection kept open
    WrongLength, // Content-Length that is not the body's
    Status500,
    Trickle, // a few bytes at a time, then cut (the check: slow but whole)
};

enum class Moment
{
    None,
    Check,
    Download,
    RetryWait,
    Install,
};

// What an earlier run left in the temporary folder.
enum class Leftover
{
    None,
    Matching,       // a partial package and its state that this server continues
    OtherValidator, // the server's package has changed since
    OtherTotal,
    BadState, // a state file that does not parse
    LonePartial,
};

struct ServerFault
{
    Fault kind = Fault::None;
    uint64_t offset = 0;   // body bytes of that answer before it strikes
    bool longer = false;   // WrongLength: announces more than it sends
    int rateBytesPerS = 0; // Trickle
};

struct TrialPlan
{
    uint32_t seed = 0;
    bool startAtNewVersion = false; // a launcher's record: no check
    ServerFault checkFault;
    int checkDelayMs = 0;
    std::string validator; // "etag", "last-modified" or "" (none)
    Leftover leftover = Leftover::None;
    uint64_t leftoverBytes = 0;
    int rateBytesPerS = 0;                   // the package's pace; 0: as fast as it goes
    std::vector<ServerFault> downloadFaults; // tries 1, 2, ...; later tries are clean
    Moment moment = Moment::None;
    CancelWay way = CancelWay::Button;
    bool confirm = false;
    int cancelDelayMs = 0;   // after the moment begins
    int triggerProgress = 0; // Install: the bar position that begins the moment
    int answerDelayMs = 0;   // before the confirmation box is answered
    int installerHoldMs = 0; // how long the installer stand-in runs
    // The positive control: the wizard is told to throw at a window
    // callback once its frame shows, and its log must say so.
    bool faultProbe = false;
};

TrialPlan MakePlan(uint32_t seed, uint64_t packageSize, size_t replySize);
// The seed of the trial after this one.
uint32_t NextSeed(uint32_t seed);

// Fault-server scripts (JSON) for the version check and for the package.
std::string CheckScript(const TrialPlan& plan, const std::string& replyBody);
std::string PackageScript(const TrialPlan& plan, const std::string& path, const std::string& packageFile,
                          uint64_t packageSize);
// The validator the package is served with, as the headers carry it ("" for none).
std::string ValidatorValue(const TrialPlan& plan);

// How long the wizard may take for this plan, generously: every stall,
// retry wait, paced transfer and installer run it asks for, and a margin.
unsigned long BoundMs(const TrialPlan& plan, uint64_t packageSize);

// The plan in a line, for the trial's report.
std::string Describe(const TrialPlan& plan);

const char* Name(Fault fault);
const char* Name(Moment moment);
const char* Name(CancelWay way);
const char* Name(Leftover leftover);
} // namespace chaos
