#pragma once
// The update record: what the version check stores in section "Update" of
// the settings file for the pages that follow, and the one reader and the one
// writer of it.

#include <string>
#include <string_view>
#include <vector>

struct UpdateRecord
{
    std::wstring name;      // "newversionname"
    std::wstring version;   // "newversion"
    std::wstring url;       // "downloadurl"
    std::wstring size;      // "size": decimal bytes, empty when not given
    std::wstring sha256;    // "sha256": 64 hex digits, empty when not given
    std::wstring signature; // "signature": base64 without white space, empty when not given
    std::wstring desc;      // "desc", line breaks as CR LF
    // "mirror1" to "mirror4": other addresses of the same package, tried in
    // turn after "downloadurl"; stored right after it.
    // Initialised here so that a record built from a braced list may leave
    // it out.
    std::vector<std::wstring> mirrors{};
};

// What the pages can take whole: longer values are not stored at all.
constexpr size_t kMaxRecordNameLength = 255;
constexpr size_t kMaxRecordUrlLength = 1023;
// How much of a package check's value is read: far more than a well-formed
// one needs, so that a value cut short only fails its check later and never
// passes as another value.
constexpr size_t kMaxRecordCheckLength = 1023;
// How many mirrors a record holds; each is an address of kMaxRecordUrlLength.
constexpr size_t kMaxRecordMirrors = 4;

// The record in a settings file's text (as DecodeIniText gives it), in one
// walk of its first "Update" section: each value from the first entry of its
// key, cut to what its reader holds (names and version kMaxRecordNameLength,
// the addresses kMaxRecordUrlLength, the checks kMaxRecordCheckLength); the
// mirrors present among "mirror1" to "mirror4", in that order; the
// description is everything after the first line of that section that starts
// with "desc = " or "desc=", to the end of the text but without the zeros
// that pad the file, unchanged: it spans lines, so it must come last.
UpdateRecord ParseUpdateRecord(std::wstring_view text);

// The record in the settings file; empty values where the file, the section
// or a key is missing.
UpdateRecord ReadUpdateRecord();

// True when every value fits its reader's buffer and the file can carry it
// unchanged: the one-line values hold no line break, no value holds a zero
// or half a surrogate pair, the description fits kMaxDescriptionBytes, and
// there are at most kMaxRecordMirrors mirrors.
// The formats of size, SHA-256 and signature are not judged here.
bool RecordFitsItsReaders(const UpdateRecord& record);

// `text` (a settings file's) with the record stored in it: every "Update"
// section is taken out and one put at the end, holding the lines the old ones
// had except the record's keys, then the record's keys in the order of the
// struct, the mirrors ("mirror1"...) right after "downloadurl" and "desc"
// last, so that nothing follows the description. Empty size, SHA-256 and
// signature are left out. Everything outside "Update" is
// kept as it was.
std::wstring PlaceUpdateRecord(const std::wstring& text, const UpdateRecord& record);

// Stores the record in the file at `path` (kept as it was apart from it) and
// leaves the file in UTF-8. False when the record does not fit its readers or
// the file could not be read whole or written.
bool WriteUpdateRecord(const wchar_t* path, const UpdateRecord& record);
