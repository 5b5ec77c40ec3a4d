#pragma once
// Whole-text conversions between UTF-16 and the bytes of a named code page.

#include <windows.h>

#include <string>

// Characters the code page cannot carry become the platform's substitutes;
// bytes it cannot decode become U+FFFD. Empty in, empty out.
std::wstring DecodeText(const std::string& bytes, UINT codePage);
std::string EncodeText(const std::wstring& text, UINT codePage);
