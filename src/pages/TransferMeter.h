#pragma once
// How fast a transfer goes and how long it still takes.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <optional>

// The speed over the last few seconds, from the byte counts seen at given
// moments.
class TransferMeter
{
  public:
    // Length of the window the speed is averaged over.
    static constexpr ULONGLONG kWindowMs = 5000;

    // Forgets everything: the next count starts a new measurement.
    void Reset();
    // `bytes` held at `nowMs` (a tick count); counts never go down except
    // after Reset.
    void Add(uint64_t bytes, ULONGLONG nowMs);
    // Whether enough has been measured to tell a speed: a fifth of a second.
    bool HasSpeed() const;
    // Bytes per second over the window; 0 while there is no speed to tell
    // (and during a stall).
    double BytesPerSecond() const;

  private:
    struct Sample
    {
        ULONGLONG time;
        uint64_t bytes;
    };
    std::deque<Sample> m_samples;
};

// Whole seconds until `total` bytes are held at `bytesPerSecond`, rounded
// up; nothing without a total, at a speed below a byte a second (a stall), or
// when more than the total is held.
std::optional<uint64_t> SecondsLeft(uint64_t received, uint64_t total, double bytesPerSecond);
