#pragma once
// What the Download page shows of a running download: the bar's position and
// the line of bytes, speed and time left under it.

#include <windows.h>

#include <cstdint>
#include <string>

// The bar's position for `received` bytes of `total`, out of 10000,
// truncated toward zero. 0 when the total is 0.
int ProgressPosition(uint64_t received, uint64_t total);

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
// "从镜像 mirror.example 下载": the status line's first line while a mirror,
// not the record's own address, serves the package.
std::wstring FormatMirrorLine(const std::wstring& host);
