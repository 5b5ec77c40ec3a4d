#pragma once
// The package checks' routine, and what the checks must make of a text,
// decided without the program's code: the value the text writes, or nothing
// when it writes none.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Decimal digits only, a number from 1 to 2^64 - 1 (leading zeros allowed).
std::optional<uint64_t> SizeWritten(const std::wstring& text);
// Exactly 64 hexadecimal digits, in either case.
std::optional<std::array<BYTE, 32>> DigestWritten(const std::wstring& text);
// With its white space taken out, the text is what the platform's base64
// encoder writes for some bytes, and those bytes are what a DER encoder
// writes for a signature of two numbers from 1 to 2^256 - 1 (the bytes are
// read leniently and written again, the one form compared with them). Gives
// r||s.
std::optional<std::array<BYTE, 64>> SignatureWritten(const std::wstring& text);

// A valid signature and SHA-256 for seeds.
extern const char kSeedSignature[];
extern const char kSeedSha256[];
