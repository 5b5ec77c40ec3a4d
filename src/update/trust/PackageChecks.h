#pragma once
// The text forms in which the server names what the package must be: its
// size, its SHA-256 and the publisher's signature. Used when the reply is
// judged and again when the download re-reads the record, which a launcher
// may have prepared by hand.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

// Decimal digits only (no sign, no blank), greater than zero, within 64 bits.
bool ParsePackageSize(const std::wstring& text, uint64_t& size);

// Exactly 64 hexadecimal digits, in either case.
bool ParseSha256Hex(const std::wstring& text, std::array<BYTE, 32>& digest);

// Base64 (white space between the characters allowed, as a wrapped text has
// it) of a DER ECDSA P-256 signature; gives the raw r||s form.
bool ParseSignatureText(const std::wstring& text, std::array<BYTE, 64>& rawSignature);

// `text` without its white space: how the record stores a signature.
std::wstring WithoutWhiteSpace(const std::wstring& text);
