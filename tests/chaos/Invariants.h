#pragma once
// The one judge of every chaos trial: what must hold however the trial went,
// from what the trial left behind and what it showed.

#include <map>
#include <string>
#include <vector>

#include "TrialPlan.h"

namespace chaos
{
// What the servers offered.
struct Served
{
    std::string url;    // the package's address
    std::string name;   // its file name, also in the temporary folder
    std::string file;   // the name it is served from in the fault server's files folder
    std::string bytes;  // the package
    std::string sha256; // of the package, lower-case hex
    std::string reply;  // the version check's answer that offers it
};

// What the user did about Cancel, as the trial saw it.
struct CancelSeen
{
    bool pressed = false;
    std::string during; // what the wizard showed as it was pressed
    bool asked = false; // the question came
    std::string answer; // "Yes" or "No" as given; empty when it went before it was answered
    // Pressed while the shown, usable wizard checked or downloaded, where
    // the question must come.
    bool askable = false;
    long questionAfterMs = -1;          // from the press to the question
    long endedAfterMs = -1;             // from the press to the wizard's end
    long installerAfterMs = -1;         // from the press to the installer's start
    bool installerBeforeAnswer = false; // the installer had started when the answer was given
};

// One answer of the fault server, from its request log.
struct Answer
{
    bool package = false; // else the version check's
    int index = -1;       // the scripted response that answered: a try's fault, or the last, clean one
    int status = 0;
    uint64_t rangeStart = 0; // the first byte asked for
    uint64_t bytesSent = 0;  // body bytes sent
};

// What one trial showed and left.
struct Observation
{
    CancelSeen cancel;
    std::vector<std::string> boxes; // every other box the user dismissed: "caption: text"
    std::vector<Answer> answers;    // in the order served
    std::string finishText;         // the Finish page's result, if it came
    std::string outcome;            // how it ended: "installed", "cancelled", "check error", ...
    bool ended = false;             // within the bound, by itself
    unsigned long exitCode = 0;
    unsigned long wizardPid = 0;
    unsigned long boundMs = 0;
    std::string wineOutput;                     // Wine's standard error while the trial ran
    std::string log;                            // the wizard's run log, with its rotated part before it
    std::vector<std::string> installerRuns;     // the installer stand-in's lines as it began
    std::vector<std::string> installerEnds;     // ... and as it ended
    std::map<std::string, std::string> planted; // what the trial put into the temporary folder
    std::map<std::string, std::string> temp;    // the temporary folder's files afterwards: name, bytes
    std::vector<std::string> tempFolders;       // ... and its folders
    std::vector<std::string> settingsFolder;    // names left in the client's settings folder
};

// The line the wizard logs of a fault thrown on purpose (the positive
// control's) and stopped at a window callback.
extern const char kProbeFaultLine[];

// Every invariant the trial broke, in words; empty when all hold.
std::vector<std::string> CheckInvariants(const TrialPlan& plan, const Served& served,
                                         const Observation& seen);

// The faults the server served that struck: the answer was cut, stalled,
// refused or announced a wrong length. One entry per such answer.
struct StruckFault
{
    bool package = false; // else the version check's
    ServerFault fault;
};
std::vector<StruckFault> StruckFaults(const TrialPlan& plan, const Served& served, const Observation& seen);
// What happened about Cancel, in a few words.
std::string DescribeCancel(const TrialPlan& plan, const CancelSeen& cancel);
} // namespace chaos
