#pragma once
// What the machine's administrator decided about updates, through Group
// Policy (policy/QVXLiveUpdate.admx): the values under
// HKLM\SOFTWARE\Policies\Qoravel\LiveUpdate. Read once, at start.

#include <string>
#include <vector>

struct UpdatePolicy
{
    // UpdatesDisabled, a DWORD other than 0: nothing goes to the network.
    bool updatesDisabled = false;
    // TargetVersionPrefix: an offer whose version does not begin with it is
    // held; empty holds none.
    std::wstring versionPrefix;
    // IgnoreRollout, a DWORD other than 0: every release at once, whatever
    // share of machines it is rolled out to.
    bool ignoreRollout = false;
    // What was found, for the log.
    std::vector<std::wstring> notes;
};

// Reads the values now.
UpdatePolicy ReadUpdatePolicy();

// ReadUpdatePolicy on the first call, the same for the rest of the process:
// a policy that changes during a run takes effect at the next one.
const UpdatePolicy& ThePolicy();
