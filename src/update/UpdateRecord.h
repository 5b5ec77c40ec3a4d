#pragma once
// The update record: what the version check stores in section "Update" of
// the settings file for the pages that follow.

#include <string>

struct UpdateRecord
{
    std::wstring name;      // "newversionname"
    std::wstring version;   // "newversion"
    std::wstring url;       // "downloadurl"
    std::wstring size;      // "size": decimal bytes, empty when not given
    std::wstring sha256;    // "sha256": 64 hex digits, empty when not given
    std::wstring signature; // "signature": base64 without white space, empty when not given
    std::wstring desc;      // "desc", line breaks as CR LF
};

// What the pages can take whole: longer values are not stored at all.
constexpr size_t kMaxRecordNameLength = 255;
constexpr size_t kMaxRecordUrlLength = 1023;

// True when every value fits its reader's buffer and the file can carry it
// unchanged: the one-line values hold no line break, no value holds a zero
// or half a surrogate pair, and the description fits kMaxDescriptionBytes.
// The formats of size, SHA-256 and signature are not judged here.
bool RecordFitsItsReaders(const UpdateRecord& record);

// `text` (a settings file's) with the record stored in it: every "Update"
// section is taken out and one put at the end, holding the lines the old ones
// had except the record's keys, then the record's keys in the order of the
// struct, "desc" last, so that nothing follows the description. Empty
// size, SHA-256 and signature are left out. Everything outside "Update" is
// kept as it was.
std::wstring PlaceUpdateRecord(const std::wstring& text, const UpdateRecord& record);

// Stores the record in the file at `path` (kept as it was apart from it) and
// leaves the file in UTF-8. False when the record does not fit its readers or
// the file could not be read whole or written.
bool WriteUpdateRecord(const wchar_t* path, const UpdateRecord& record);
