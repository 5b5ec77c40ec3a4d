#pragma once
// The update server's answer to the version check.

#include <functional>
#include <string>

#include "update/record/UpdateRecord.h"

// What the answer said: the status of its document element and, for a new
// version, the record. A text that is not a well-formed document, or that
// brings its own XML declaration, reads as status 0.
struct VersionReply
{
    int status = 0;
    UpdateRecord record;
};

// Parses the answer; writes nothing. The description's line breaks become
// CR LF and the signature loses its white space, as the record keeps them.
VersionReply ReadVersionReply(const std::wstring& replyText);

enum class ReplyVerdict
{
    Current,    // status 0: the installed client is the newest
    NewVersion, // any other status: a newer version is offered
    Unusable,   // the offered version could not be recorded whole
};

// Judges a parsed answer; writes nothing. Status 1 with a record that does
// not fit its readers, whose size, SHA-256 or signature is given but
// malformed, or with a mirror that is not IsMirrorOf its address, is
// Unusable. Another status other than 0 is NewVersion with
// nothing to record: the pages show what the file already holds.
ReplyVerdict JudgeVersionReply(const VersionReply& reply);

// Runs `write` unless the wizard has been left meanwhile, holding off the
// leaving until it is done; false, without running it, once it has been left.
using RecordWriteGuard = std::function<bool(const std::function<void()>& write)>;

// Reads and judges the answer, logs what it says and, for status 1, stores
// the record in the settings file through `guard`. Unusable when the record
// could not be written; when the guard declines, nothing is written and the
// verdict stands (the caller knows it was left).
ReplyVerdict RecordVersionReply(const std::wstring& replyText, const RecordWriteGuard& guard);
