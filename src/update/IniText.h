#pragma once
// Byte-level handling of the settings file's text: the UTF-8 test that decides
// how the file is read, and a reader of one value by the profile-file rules.

#include <cstddef>
#include <string>

// True when the bytes pass the settings file's UTF-8 test: lead bytes of one
// to four byte forms with well-formed continuation bytes. A sequence cut off
// by the end of the buffer still passes; overlong forms are not rejected;
// stray continuation bytes and lead bytes above 0xF4 are.
bool IsUtf8Text(const unsigned char* data, size_t length);

// Looks up `key` in `section` of profile-file text, as the platform's profile
// reader does: section lines "[name]", lines "key = value", names compared
// without regard to ASCII case, blanks around the name, the "=" and the value
// ignored, a value enclosed in one pair of matching quotes taken without them,
// the first section of that name only. The text ends at its first zero byte.
// Returns false when the section or the key is missing.
bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string& value);
