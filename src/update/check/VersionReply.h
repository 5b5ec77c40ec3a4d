#pragma once
// The update server's answer to the version check.

#include <optional>
#include <string>

#include "update/record/UpdateRecord.h"

// What the answer said: the status of its document element and, for a new
// version, the record. A text that is not a well-formed document, or that
// brings its own XML declaration, reads as status 0.
struct VersionReply
{
    int status = 0;
    // The document element carries a status at all: the answer is an update
    // reply, whatever it was labelled.
    bool hasStatus = false;
    UpdateRecord record;
    // The <rollout> text of a new version's answer, when it names one. Not
    // part of the record: a launcher's record is never rolled out.
    std::optional<std::wstring> rollout;
};

// Parses the answer; writes nothing. The description's line breaks become
// CR LF and the signature loses its white space, as the record keeps them.
VersionReply ReadVersionReply(const std::wstring& replyText);
