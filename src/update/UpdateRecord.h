#pragma once
// The update record: what the version check stores in section "Update" of
// the settings file for the pages that follow.

#include <string>

struct UpdateRecord
{
    std::wstring name;    // "newversionname"
    std::wstring version; // "newversion"
    std::wstring url;     // "downloadurl"
    std::wstring desc;    // "desc", line breaks as CR LF
};

// What the pages can take whole: longer values are not stored at all.
constexpr size_t kMaxRecordNameLength = 255;
constexpr size_t kMaxRecordUrlLength = 1023;

bool RecordFitsItsReaders(const UpdateRecord& record);

// Sets `key` in `section` of profile-file text the way the platform's
// profile writer does: the first such key of the first such section gets the
// new value in place; a new key goes after the last line of its section; a
// new section goes at the end of the text.
void SetProfileValue(std::wstring& text, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);

// Stores the four keys, in this order, in the file at `path` (kept as it was
// apart from them) and leaves the file in UTF-8. False when it could not be
// written; the file is then unchanged.
bool WriteUpdateRecord(const wchar_t* path, const UpdateRecord& record);
