#pragma once
// How one try of a package download ended, and the log line that says so.

#include <string>

enum class TryOutcome
{
    Accepted, // the answer's body continues or starts the package
    Complete,
    Failed,    // this try failed; another may succeed
    Refused,   // the answer cannot continue the bytes held
    FileError, // the partial file cannot be opened or written: no try helps
    Rejected,  // the package is not the one the record names
    Abandoned,
    ClockWrong,  // a certificate's dates failed, and this machine's clock is off the server's
    OtherEntity, // a 206 of another entity than the bytes held: they go
    NoSpace,     // the bytes to come do not fit the disk: nothing written
    DiskFull,    // a write found the disk full
};

// The log line of try `number`'s end; empty for NoSpace, which is logged
// where it is found. `received` says what the try brought ("after N bytes in
// ..."); `detail` is the error of a Failed or ClockWrong try, the status of a Refused
// answer, the validator sent for OtherEntity, the partial file and its error
// for FileError and DiskFull, and the failed check for Rejected.
std::wstring TryEndText(TryOutcome outcome, int number, const std::wstring& received,
                        const std::wstring& detail);
