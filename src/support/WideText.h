#pragma once
// Small operations on UTF-16 text.

#include <cstddef>
#include <string>

// Replaces every occurrence of `from` in `text` by `to`.
void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to);

// Text of a zero-filled buffer: up to its first zero, never beyond `capacity`.
std::wstring TextOfBuffer(const wchar_t* buffer, size_t capacity);

// The number `text` writes in decimal digits, and nothing else, when it is
// from `low` (at least 1) to `high`; 0 otherwise.
unsigned ParseNumberInRange(const std::wstring& text, unsigned low, unsigned high);

// The number the environment variable `name` writes, read as
// ParseNumberInRange reads it; 0 when it is not set.
unsigned EnvironmentNumber(const wchar_t* name, unsigned low, unsigned high);
