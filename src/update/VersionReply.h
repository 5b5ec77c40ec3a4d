#pragma once
// The update server's answer to the version check.

#include <string>

#include "update/UpdateRecord.h"

// What the answer said: the status of its document element and, for a new
// version, the record. A text that is not a well-formed document, or that
// brings its own XML declaration, reads as status 0.
struct VersionReply
{
    int status = 0;
    UpdateRecord record;
};

VersionReply ReadVersionReply(const std::wstring& replyText);

enum class ReplyVerdict
{
    Current,    // status 0: the installed client is the newest
    NewVersion, // any other status: a newer version is offered
    Unusable,   // the offered version could not be recorded whole
};

// What the answer means, without writing anything: Unusable when it offers a
// version whose record the pages could not take whole.
ReplyVerdict JudgeVersionReply(const VersionReply& reply);

// Reads the answer and, when it offers a new version (status 1), stores the
// record in the settings file at `iniPath` in UTF-8.
ReplyVerdict EvaluateVersionReply(const std::wstring& replyText, const wchar_t* iniPath);
