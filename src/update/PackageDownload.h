#pragma once
// The package download: where the package goes, how far along it is, and
// the transfer itself.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// The bar's position for `received` bytes of `total`, out of 10000,
// truncated toward zero. 0 when the total is 0.
int ProgressPosition(uint64_t received, uint64_t total);

// The Content-Length text as a byte count: leading white space, digits up
// to the first other character. False for a missing, empty, zero, negative
// or out-of-range value.
bool ParseContentLength(const std::wstring& text, uint64_t& length);

struct DownloadRequest
{
    std::wstring url;
    std::wstring packagePath; // the temporary file is this followed by ".downloading"
    std::wstring agent;
    bool useProxy = false;
    std::wstring proxy;
};

enum class DownloadOutcome
{
    Complete,         // the whole package is at packagePath
    CannotCreateFile, // the temporary file could not be made
    Failed,           // anything else: network, status, length, short transfer, write
    Abandoned,        // the caller asked to stop
};

// Called with each new position of the bar; false stops the transfer.
using ProgressSink = std::function<bool(int position)>;

// How often the request is sent again with the proxy's credentials while
// the proxy keeps asking for them.
constexpr int kMaxDownloadProxyAuthRetries = 3;
// Shortest time between two moves of the bar: faster than the eye follows.
constexpr ULONGLONG kProgressIntervalMs = 40;
// One buffer, read and written a block at a time.
constexpr DWORD kDownloadBlockBytes = 8192;

// Downloads into packagePath + ".downloading" and moves the file to
// packagePath once every announced byte has arrived. Whatever is incomplete
// is removed; nothing incomplete is ever left under the package's name.
DownloadOutcome DownloadPackage(const DownloadRequest& request, const ProgressSink& progress);

std::wstring TemporaryDownloadPath(const std::wstring& packagePath);
