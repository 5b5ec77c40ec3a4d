#pragma once
// What lets a later run continue a package download an earlier one left
// incomplete: the partial file "<package>.downloading" and, beside it, a
// small state file naming the record's address, the address that served the
// bytes, that server's validator and the package's total length. The partial file's own length says how much
// is held; the state file is written before the first byte, so every partial file the wizard leaves has one.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

struct ResumeState
{
    std::wstring url; // the record's: which package the bytes are of
    // The address whose answers the bytes held continue, the record's own or
    // a mirror. A state written before it was kept has none: read, it is `url`.
    std::wstring from;
    std::wstring validator; // the first answer's ETag, or its Last-Modified; empty: never resumed
    uint64_t total = 0;
    uint64_t held = 0; // when last written; for people reading the file
};

extern const wchar_t kResumeStateSuffix[];
// Partial and state files untouched for this long are removed at start.
constexpr ULONGLONG kStaleDownloadAgeMs = 7ull * 24 * 60 * 60 * 1000;

std::wstring PartialPackagePath(const std::wstring& packagePath);
std::wstring ResumeStatePath(const std::wstring& packagePath);

// The state file's text (UTF-8, one "key=value" line each) and back. Parsing
// is strict: every key once (`from` may be missing), a total above zero,
// nothing else; a value with a line break cannot be written.
std::string FormatResumeState(const ResumeState& state);
std::optional<ResumeState> ParseResumeState(const std::string& text);

bool SaveResumeState(const std::wstring& path, const ResumeState& state);
std::optional<ResumeState> LoadResumeState(const std::wstring& path);

// Removes the partial file and the state file of a package.
void DiscardPartialDownload(const std::wstring& packagePath);

// What a run that ends now leaves of the download of the record's `url` to
// `packagePath`: the partial file and its state stay only when a later run
// can continue them (a whole state of this record, whichever of its
// addresses served the bytes, with a validator, and bytes held); otherwise
// both go.
void KeepOnlyResumable(const std::wstring& packagePath, const std::wstring& url);

// Removes, in `folder`, every state file whose pair (state and partial
// file) was last written more than `maxAgeMs` before `now` (file time), with
// its partial file. Only files with a state file are touched: a file of the
// same suffix that another program left stays.
void RemoveStaleDownloads(const std::wstring& folder, ULONGLONG maxAgeMs = kStaleDownloadAgeMs);
