#pragma once
// The settings file's text: the UTF-8 test that decides how the file is read,
// and its lines as the platform's profile reader sees them. Every reader and
// the record writer of this program go through this one model, so that they
// agree with each other and with the platform on every line.

#include <cstddef>
#include <string>
#include <string_view>

// True when the bytes pass the settings file's UTF-8 test: lead bytes of one
// to four byte forms with well-formed continuation bytes. A sequence cut off
// by the end of the buffer still passes; overlong forms are not rejected;
// stray continuation bytes and lead bytes above 0xF4 are.
bool IsUtf8Text(const unsigned char* data, size_t length);

// The blanks that the profile reader trims: ASCII white space and the DOS
// end-of-file byte 0x1A. Other Unicode spaces are kept.
bool IsIniBlank(wchar_t c);

// Names compared the way the profile reader compares them: ASCII letters
// without regard to case, every other character exactly.
bool SameIniName(std::wstring_view a, std::wstring_view b);

// One line of profile text. A line ends at CR or LF; the run of line breaks
// after it belongs to it. The line is trimmed of blanks; then
// - "[" ... "]" (the last "]") is a section header; its name is the text
//   between, trimmed;
// - anything else that is not empty is an entry: the name is the trimmed text
//   before the first "=", the value the trimmed text after it, without one
//   pair of enclosing quotes (" or '). An entry without "=" has no value: the
//   reader then gives the default.
// Names and values end at their first zero character, as the platform's
// reader cuts them, although the line goes on.
struct IniLine
{
    enum Kind
    {
        Empty,
        Section,
        Entry,
    } kind = Empty;
    std::wstring_view name;
    bool hasValue = false;
    std::wstring_view value;
    size_t begin = 0; // first character of the line
    size_t next = 0;  // first character of the next line
};

IniLine ReadIniLine(std::wstring_view text, size_t pos);

// Looks up `key` in `section` as the profile reader does: the names asked for
// trimmed, the first section of that name only, the first entry of that name
// in it. False when the section or the key is missing, or the entry has no
// "=".
bool FindIniValue(std::wstring_view text, std::wstring_view section, std::wstring_view key,
                  std::wstring& value);
