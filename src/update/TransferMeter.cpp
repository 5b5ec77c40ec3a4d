#include "update/TransferMeter.h"

#include <cmath>
#include <cstdio>

const wchar_t kResumedStatus[] = L"从上次中断处继续下载";

void TransferMeter::Reset()
{
    m_samples.clear();
}

void TransferMeter::Add(uint64_t bytes, ULONGLONG nowMs)
{
    m_samples.push_back(Sample{nowMs, bytes});
    // Keep one sample at or before the window's start, so that the window
    // is always covered whole once it has been.
    while (m_samples.size() > 2 && nowMs - m_samples[1].time >= kWindowMs)
        m_samples.pop_front();
}

bool TransferMeter::HasSpeed() const
{
    return m_samples.size() >= 2 && m_samples.back().time - m_samples.front().time >= 200;
}

double TransferMeter::BytesPerSecond() const
{
    if (!HasSpeed())
        return 0;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const ULONGLONG span = last.time - first.time;
    if (last.bytes < first.bytes)
        return 0;
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 / static_cast<double>(span);
}

std::wstring FormatByteCount(uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_wstring(bytes) + L" B";
    const wchar_t* units[] = {L"KB", L"MB", L"GB", L"TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // 1023.96 KB would print as "1024.0 KB": move up a unit before that.
    while (value >= 1023.95 && unit + 1 < sizeof units / sizeof units[0])
    {
        value /= 1024.0;
        ++unit;
    }
    wchar_t text[32] = {};
    swprintf(text, 32, L"%.1f %ls", value, units[unit]);
    return text;
}

std::wstring FormatTimeLeft(uint64_t seconds)
{
    if (seconds < 60)
        return L"约 " + std::to_wstring(seconds) + L" 秒";
    return L"约 " + std::to_wstring((seconds + 30) / 60) + L" 分钟";
}

std::wstring FormatTransferStatus(uint64_t received, uint64_t total, double bytesPerSecond)
{
    std::wstring text = L"已下载 " + FormatByteCount(received);
    if (total > 0)
        text += L" / " + FormatByteCount(total);
    if (bytesPerSecond < 0)
        return text;
    text += L"，速度 " + FormatByteCount(static_cast<uint64_t>(bytesPerSecond)) + L"/s";
    if (total > 0 && bytesPerSecond >= 1 && received <= total)
    {
        const double seconds = std::ceil(static_cast<double>(total - received) / bytesPerSecond);
        text += L"，剩余" + FormatTimeLeft(static_cast<uint64_t>(seconds));
    }
    return text;
}

std::wstring FormatRetryStatus(DWORD secondsLeft, int retry, int retries)
{
    return L"连接中断，" + std::to_wstring(secondsLeft) + L" 秒后重试（第 " + std::to_wstring(retry) +
           L" 次，共 " + std::to_wstring(retries) + L" 次）";
}
