#pragma once
// Reading short texts from the registry into fixed byte budgets.

#include <windows.h>
#include <string>

// The text of registry data taken as UTF-16: up to its first zero unit, or
// the whole data when it has none. An odd last byte is a unit with a zero
// high byte: "34 00 32 00 37" reads "427".
std::wstring TextFromRegistryData(const BYTE* data, size_t size);

// Reads value `name` of `key` with a budget of `budgetBytes`, whatever its
// type. A value larger than the budget counts as missing. Returns false and
// leaves `text` as it was when the value is missing.
bool ReadRegistryText(HKEY key, const wchar_t* name, DWORD budgetBytes, std::wstring& text);
