#pragma once
// The edition the wizard's texts name: the client's own texts say enterprise
// edition, and every text the wizard composes or adapts for display names the
// campus edition in its place.

#include <string>

// The product name used wherever the installed client's own name is missing.
extern const wchar_t kDefaultProductName[];

void ApplyEditionSubstitution(std::wstring& text);
