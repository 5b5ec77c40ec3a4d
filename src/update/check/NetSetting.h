#pragma once
// Where the version check connects to: the dispatch server and its ports from
// "netsetting.xml".

#include <string>
#include <vector>

// One port of the dispatch server. `port` is kept as written in the file,
// range unchecked; `ssl` non-zero means TLS.
struct DispatchPort
{
    int port;
    int ssl;
};

// Entry 0 is the server's default port, the rest its test ports in file
// order.
using DispatchPortList = std::vector<DispatchPort>;

// The settings file, read by its bare name from the current directory.
extern const wchar_t kNetSettingFileName[];

// Reads the settings file on the calling thread, initialising COM around
// the work. On success `server` is replaced by the server's address and the
// ports are appended to `list`; when the file, its document element or its
// "Dispatch" element is missing, both stay as they were. Always returns 1.
int LoadNetSetting(std::wstring& server, DispatchPortList& list);
