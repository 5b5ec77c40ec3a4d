#pragma once
// When a package download tries again, how long it waits first, and when it
// gives up. What counts is what each try adds: a try that brings a good part
// of the package is followed at once by the next, one that brings next to
// nothing waits longer each time, and no run goes on for ever.

#include <windows.h>

#include <cstdint>
#include <string>

class DownloadListener;

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
        AfterWait, // the next try follows RetryDelayMs(Retry())
        GiveUp,    // the run ends without the package
    };

    // After a try that did not complete the package and added `added` bytes
    // to the ones held.
    Next AfterTry(uint64_t added);
    // After a try whose only outcome was to drop the bytes held (an earlier
    // run's, or another entity's): it counts towards kMaxDownloadTries only.
    Next AfterDroppedBytes();

    // The retry the last AfterWait leads to: 1 to kMaxDownloadRetries.
    int Retry() const { return m_counted; }
    int Tries() const { return m_tries; }
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
