#pragma once
// The program's own UTF-8 decoder, and the code page that every other
// narrow <-> wide conversion of the program goes through.

#include <windows.h>
#include <string>

// Replaces `out` with the UTF-16 decoding of `length` bytes at `input`. The
// decoder never fails and never substitutes a replacement character: a lead
// byte's count of leading one bits says how many bytes follow, and only the
// low six bits of each following byte count, whatever its form. A valid
// four-byte sequence becomes a surrogate pair; every other value is stored
// as its low 16 bits. A sequence cut off by the end of the input is dropped.
void Utf8ToWide(std::wstring& out, const char* input, size_t length);

// The code page for narrow text wherever no other is named. Chosen on the
// first call and kept for the life of the process.
UINT ConversionCodePage();

// The choice made on systems older than NT 5.0, which have no per-thread
// code page: the default ANSI code page of `locale`, or the system's ANSI
// code page when the locale gives none.
UINT LegacyConversionCodePage(LCID locale);

// Conversions of whole texts through ConversionCodePage(). Characters that
// the code page cannot hold become its default character.
std::wstring NarrowToWide(const std::string& text);
std::string WideToNarrow(const std::wstring& text);
