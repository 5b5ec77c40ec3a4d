#pragma once
// The installed client's uninstall record, written by the client's installer.

#include "framework/ScopedHandle.h"
#include <string>

// Byte budget of each value read from the record.
constexpr DWORD kClientRecordValueBytes = 260;

// Opens the record for reading values, in the 32-bit registry view the
// client's installer writes to; an invalid key when it cannot be opened.
RegKey OpenClientRecordKey();

// "DisplayVersion" of the record, or empty when it cannot be read.
std::wstring ReadInstalledVersion();
