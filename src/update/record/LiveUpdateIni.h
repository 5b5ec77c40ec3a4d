#pragma once
// The update settings file "LiveUpdate.ini": where it lives, which of its
// encodings it is in, and reading and rewriting it.

#include <windows.h>
#include <string>
#include <string_view>

// Capacity, in UTF-16 units, of the buffers that hold settings paths.
constexpr size_t kIniPathCapacity = MAX_PATH;
// How much of the file the encoding probe looks at.
constexpr size_t kIniProbeBytes = 1024;
// The rewritten file is at least this long: its text, then zero bytes.
constexpr size_t kIniFileBlockBytes = 4096;
// The longest description the record carries, in UTF-8 bytes with its line
// breaks as CR LF. The check refuses a longer one rather than store it, and
// the new-version page reads enough of the file to show it whole. Release
// notes run to a few kilobytes; this is sixteen times the file's 4096-byte
// block, and still shows at once in the page's edit control.
constexpr size_t kMaxDescriptionBytes = 64 * 1024;
// How much of the file the readers read, and so the largest file the record
// writer leaves: the longest record with room to spare for a launcher's lines.
constexpr size_t kMaxIniFileBytes = 1024 * 1024;
static_assert(kMaxIniFileBytes >= 4 * kMaxDescriptionBytes, "the longest description must fit the file");

// Set by ProbeIniEncoding, read by ReadUpdateSetting.
extern bool g_bIniIsUtf8;

// Fills the caller's zero-filled buffer of kIniPathCapacity units with the
// per-user application-data folder followed by "\Qoravel\LiveUpdate.ini".
// Returns false, leaving the buffer as it was, when the folder is unknown or
// the path would not fit.
bool GetLiveUpdateIniPath(wchar_t* pszPath);
std::wstring LiveUpdateIniPath();

// Decides the file's encoding from its first kIniProbeBytes bytes.
void ProbeIniEncoding();

// Reads one value into the caller's zero-filled buffer of `capacity` units.
// Returns the count the read reports: in the UTF-8 branch the units written,
// terminating zero included; in the other the platform reader's count.
int ReadUpdateSetting(const wchar_t* section, const wchar_t* key, wchar_t* buffer, int capacity);

// `value` as a buffer of `capacity` units holds it: cut to capacity - 1
// units as the platform's profile reader cuts, but never between the halves
// of a surrogate pair.
std::wstring CutToCapacity(std::wstring_view value, size_t capacity);

// The settings file's first kMaxIniFileBytes bytes; empty when it cannot be
// read.
std::string ReadIniBytes(const wchar_t* path);

// The file's text as the platform's profile reader decodes it: UTF-16 after
// its byte-order mark (either byte order); UTF-8 after a UTF-8 byte-order
// mark, or when the first kIniProbeBytes pass the UTF-8 test; the ANSI code
// page otherwise. Zeros are kept, as the platform keeps them: a zero ends
// a name or a value, not the line.
std::wstring DecodeIniText(const std::string& bytes);

// Rewrites the existing file in place as `text` in UTF-8, followed by zero
// bytes up to kIniFileBlockBytes, and ends the file there. There being no
// file, it is made (the folder never is). Others may hold the file open for
// reading and writing meanwhile. False when the text is longer than
// kMaxIniFileBytes or the file could not be written.
bool SaveIniTextAsUtf8(const wchar_t* path, const std::wstring& text);
