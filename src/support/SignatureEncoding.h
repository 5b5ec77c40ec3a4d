#pragma once
// The text forms a package signature travels in: base64 in the server's
// reply, DER (as openssl writes it) inside, and the raw r||s pair that the
// platform's verifier takes.

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

// The bytes of base64 text; white space (line breaks of a wrapped text)
// may stand between the characters. Nothing for an empty text or anything
// that is not base64.
std::optional<std::vector<BYTE>> DecodeBase64(const std::wstring& text);

// The 64-byte r||s form (each big-endian, 32 bytes) of a DER ECDSA P-256
// signature: a SEQUENCE of two positive INTEGERs, each of at most 32
// significant bytes and in its one DER form. False for anything else.
bool DerSignatureToRaw(const std::vector<BYTE>& der, std::array<BYTE, 64>& raw);
