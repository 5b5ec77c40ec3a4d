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

// What one trial showed and left.
struct Observation
{
    std::string outcome; // how it ended: "installed", "cancelled", "check error", ...
    bool ended = false;  // within the bound, by itself
    unsigned long exitCode = 0;
    unsigned long wizardPid = 0;
    unsigned long boundMs = 0;
    std::string wineOutput;                     // Wine's standard error while the trial ran
    std::string log;                            // the wizard's run log
    std::vector<std::string> installerRuns;     // the installer stand-in's lines as it began
    std::vector<std::string> installerEnds;     // ... and as it ended
    std::map<std::string, std::string> planted; // what the trial put into the temporary folder
    std::map<std::string, std::string> temp;    // the temporary folder afterwards: name, bytes
    std::vector<std::string> settingsFolder;    // names left in the client's settings folder
};

// Every invariant the trial broke, in words; empty when all hold.
std::vector<std::string> CheckInvariants(const TrialPlan& plan, const Served& served,
                                         const Observation& seen);
} // namespace chaos
