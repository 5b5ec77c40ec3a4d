#include "pages/TransferMeter.h"

#include <cmath>

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

std::optional<uint64_t> SecondsLeft(uint64_t received, uint64_t total, double bytesPerSecond)
{
    if (total == 0 || bytesPerSecond < 1 || received > total)
        return std::nullopt;
    const double seconds = std::ceil(static_cast<double>(total - received) / bytesPerSecond);
    // A length near 2^64 would not fit the conversion; nobody waits that long.
    const double longest = 1e15;
    return static_cast<uint64_t>(seconds < longest ? seconds : longest);
}
