#pragma once
// The version check as both fronts run it, the wizard's check page and the
// unattended run: the request, the reply read and its offer judged, and one
// log line that says what the reply meant.

#include <optional>
#include <string>

#include "update/network/SendGate.h"
#include "update/record/UpdateRecord.h"
#include "update/trust/Offer.h"

enum class CheckOutcome
{
    // Nothing to do: status 0, a signed release not newer than the
    // installed one, a version the policy holds back, or a release not yet
    // rolled out to this machine.
    Current,
    Offer,       // a newer version this build may take
    Unusable,    // an answer this build cannot act on (refused offer, unknown status, malformed rollout)
    Failed,      // no answer: the network, the server or its reply failed
    LoginPage,   // a network's login page answered in the server's place
    SwitchedOff, // the administrator's policy switches updates off: nothing was asked
};

// Who asks: the wizard keeps the server's word for any status other than 0
// and 1 in a build without the publisher's key (the pages show the record
// the settings file already holds); unattended runs, and every build with
// the key, take such a status for an unusable answer.
enum class CheckFront
{
    Wizard,
    Unattended,
};

struct CheckResult
{
    CheckOutcome outcome = CheckOutcome::Failed;
    std::wstring installedVersion; // as the request sent it (or would have)
    // For Offer: the reply's record and the offer judged from it, to be
    // stored or downloaded; nothing when the keyless wizard takes another
    // status at its word.
    std::optional<UpdateRecord> record;
    std::optional<Offer> offer;
};

// Runs the check on the calling thread (a worker's: it waits on the network
// for up to the time-outs). With `gate`, the check goes as far as its
// connection and sends its request once the gate opens; when it ends before
// that (no server named, no connection made), it runs again from the start
// once the gate has opened, as it would have without one.
CheckResult CheckForUpdate(CheckFront front, const SendGate* gate = nullptr);
