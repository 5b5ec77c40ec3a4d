#pragma once
// The update settings file "LiveUpdate.ini": where it lives, which of its two
// encodings (ANSI code page or UTF-8) it is in, and reading and rewriting it.

#include <windows.h>
#include <string>

// Capacity, in UTF-16 units, of the buffers that hold settings paths.
constexpr size_t kIniPathCapacity = MAX_PATH;
// How much of the file the encoding probe looks at.
constexpr size_t kIniProbeBytes = 1024;
// The rewritten file is at least this long: its text, then zero bytes.
constexpr size_t kIniFileBlockBytes = 4096;

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
// Returns the number of units of the value stored (without the zero).
int ReadUpdateSetting(const wchar_t* section, const wchar_t* key, wchar_t* buffer, int capacity);

// Name, version and package address of the offered version.
void ReadUpdateRecord(std::wstring& name, std::wstring& version, std::wstring& url);

// Rewrites the file, now in the ANSI code page, as UTF-8 followed by zero
// bytes up to kIniFileBlockBytes. The whole text is kept, however long.
void ConvertIniToUtf8(const wchar_t* path);

// The settings file's bytes, up to a bound no real one comes near; empty
// when it cannot be read.
std::string ReadIniBytes(const wchar_t* path);

// The file's text, decoded as UTF-8 when it passes the UTF-8 test and from
// the ANSI code page otherwise; it ends at the first zero byte.
std::wstring DecodeIniText(const std::string& bytes);

// Replaces the file by `text` in UTF-8, followed by zero bytes up to
// kIniFileBlockBytes. A reader sees the old file or the new one, never a
// mixture. False when it could not be written.
bool SaveIniTextAsUtf8(const wchar_t* path, const std::wstring& text);
