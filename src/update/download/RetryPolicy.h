#pragma once
// How one try of a package download ended, and what comes next: when it
// tries again, how long it waits first, and when it gives up. What counts is
// what each try adds: a try that brings a good part of the package is
// followed at once by the next, one that brings next to nothing waits longer
// each time, and no run goes on for ever.

#include <windows.h>

#include <cstdint>
#include <string>

class DownloadListener;

enum class TryOutcome
{
    Accepted, // the answer's body continues or starts the package
    Complete,
    Failed,    // this try failed; another may succeed
    Refused,   // the answer cannot continue the bytes held
    FileError, // the partial file cannot be opened or written: no try helps
    // The answer's package is not of the size the record names (a stale
    // mirror, an error page): a failed try at this address; the bytes held stay.
    OtherLength,
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
// for FileError and DiskFull, and the failed check for OtherLength.
std::wstring TryEndText(TryOutcome outcome, int number, const std::wstring& received,
                        const std::wstring& detail);

// How many tries in a row that bring less than kProgressBytes are followed by
// another, and the waits before those tries.
constexpr int kMaxDownloadRetries = 5;
DWORD RetryDelayMs(int retry); // 1 s, 2 s, 4 s, 8 s, 16 s for retries 1 to 5
// What a try must add to count as progress: a server or middlebox that
// sends a few bytes per connection must not keep a run going.
constexpr uint64_t kProgressBytes = 1024 * 1024;
// The tries of one run, whatever each brings.
constexpr int kMaxDownloadTries = 100;

class RetryPolicy
{
  public:
    enum class Next
    {
        AtOnce,    // the next try follows at once
        AfterWait, // the next try follows RetryDelayMs of the tries in a row without progress
        GiveUp,    // the run ends without the package
    };

    // After a try that did not complete the package and added `added` bytes
    // to the ones held.
    Next AfterTry(uint64_t added);
    // After a try whose only outcome was to drop the bytes held (an earlier
    // run's, or another entity's): it counts towards kMaxDownloadTries only.
    Next AfterDroppedBytes();

    // After GiveUp, why, for the log.
    std::wstring WhyGivingUp() const;
    // Logs what `next` means and waits as it says, through the listener's
    // countdown; false when the run ends here: GiveUp, or the wizard was left
    // during the wait (`left` then says so).
    bool Follow(Next next, DownloadListener& listener, bool& left) const;

  private:
    int m_tries = 0;
    int m_counted = 0; // tries in a row without progress
};
