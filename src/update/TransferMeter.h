#pragma once
// How fast a transfer goes and how long it still takes, and the texts the
// Download page shows for it.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>

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

// "512 B", "12.5 KB", "12.5 MB", "1.5 GB" (1 KB = 1024 bytes).
std::wstring FormatByteCount(uint64_t bytes);
// "约 16 秒" under a minute, "约 3 分钟" from a minute on.
std::wstring FormatTimeLeft(uint64_t seconds);
// "已下载 12.5 MB / 48.0 MB，速度 2.3 MB/s，剩余约 16 秒"; without a total
// (0), the bytes and the speed only; a speed below zero is not known yet and
// is left out; at zero (a stall) there is no time left.
std::wstring FormatTransferStatus(uint64_t received, uint64_t total, double bytesPerSecond);
// "连接中断，5 秒后重试（第 2 次，共 5 次）"
std::wstring FormatRetryStatus(DWORD secondsLeft, int retry, int retries);
// Shown once when a run continues what an earlier one left.
extern const wchar_t kResumedStatus[];
