#pragma once
// Small string operations shared by the pages.

#include <windows.h>
#include <string>

// The product name used wherever the installed client's own name is missing.
extern const wchar_t kDefaultProductName[];

// Replaces every occurrence of `from` in `text` by `to`.
void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to);

// Every text the wizard composes or adapts for display names the campus
// edition where the client's own texts say enterprise edition.
void ApplyEditionSubstitution(std::wstring& text);

// String resource `id` of the program, or empty when there is none.
std::wstring LoadResourceString(UINT id);

// Whole-text conversions through a named code page.
std::wstring DecodeText(const std::string& bytes, UINT codePage);
std::string EncodeText(const std::wstring& text, UINT codePage);

// Text of a zero-filled buffer: up to its first zero, never beyond `capacity`.
std::wstring TextOfBuffer(const wchar_t* buffer, size_t capacity);
