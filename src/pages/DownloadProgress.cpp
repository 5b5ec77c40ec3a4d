#include "pages/DownloadProgress.h"

#include "pages/StatusText.h"
#include "support/WebAddress.h"

DownloadProgress::DownloadProgress(WorkerLink& link) : m_link(link), m_taskbar(link.Frame()) {}

bool DownloadProgress::OnBytes(uint64_t held, uint64_t total)
{
    if (m_link.IsAbandoned())
        return false;
    const ULONGLONG now = ::GetTickCount64();
    // A count that goes back means the download started again from zero.
    if (held < m_lastHeld)
        m_meter.Reset(), m_sampledAt = 0;
    m_lastHeld = held;
    m_lastTotal = total;
    // A sample every few blocks is plenty for a speed over seconds.
    if (now - m_sampledAt >= kSampleIntervalMs || held == total)
    {
        m_sampledAt = now;
        m_meter.Add(held, now);
    }

    const int position = ProgressPosition(held, total);
    if (position != m_shownPosition &&
        (now - m_barShownAt >= kBarIntervalMs || position == 10000 || held == 0))
    {
        m_shownPosition = position;
        m_barShownAt = now;
        m_link.SetProgress(position);
        m_taskbar.SetState(TaskbarProgress::State::Normal);
        m_taskbar.SetValue(held, total);
    }
    if (now >= m_quietUntil && (now - m_textShownAt >= kTextIntervalMs || held == total))
    {
        m_textShownAt = now;
        ShowStatus(FormatTransferStatus(held, total, m_meter.HasSpeed() ? m_meter.BytesPerSecond() : -1));
    }
    return !m_link.IsAbandoned();
}

bool DownloadProgress::OnRetryWait(DWORD waitMs, int retry, int retries)
{
    // The last blocks before the cut may have come faster than the bar moves:
    // it keeps the place of every byte held while it waits.
    const int position = ProgressPosition(m_lastHeld, m_lastTotal);
    if (position != m_shownPosition)
    {
        m_shownPosition = position;
        m_link.SetProgress(position);
        m_taskbar.SetValue(m_lastHeld, m_lastTotal);
    }
    m_taskbar.SetState(TaskbarProgress::State::Paused);
    // A countdown, one second at a time.
    for (DWORD left = waitMs; left > 0;)
    {
        ShowStatus(FormatRetryStatus((left + 999) / 1000, retry, retries));
        const DWORD step = left % 1000 ? left % 1000 : 1000;
        if (!m_link.Wait(step))
            return false;
        left -= step;
    }
    m_meter.Reset();
    m_sampledAt = 0;
    m_textShownAt = 0;
    m_taskbar.SetState(TaskbarProgress::State::Normal);
    return !m_link.IsAbandoned();
}

void DownloadProgress::OnResumed(uint64_t held, uint64_t total)
{
    m_lastHeld = held;
    m_lastTotal = total;
    m_shownPosition = ProgressPosition(held, total);
    m_link.SetProgress(m_shownPosition);
    m_taskbar.SetValue(held, total);
    m_link.SetStatusText(kResumedStatus);
    m_quietUntil = ::GetTickCount64() + kResumedNoticeMs;
}

bool DownloadProgress::ChangeFiles(const std::function<void()>& change)
{
    return m_link.RunUnlessAbandoned(change);
}

bool DownloadProgress::ClaimPackage(const std::function<bool()>& takeName)
{
    return m_link.TryBeginInstall(takeName);
}

void DownloadProgress::SetCancelCheckpoint(std::function<void()> checkpoint)
{
    m_link.SetAbandonHook(std::move(checkpoint));
}

void DownloadProgress::OnNoSpace(uint64_t needed, uint64_t available)
{
    m_needed = needed;
    m_available = available;
}

void DownloadProgress::ShowFailure() const
{
    m_taskbar.SetState(TaskbarProgress::State::Error);
}

void DownloadProgress::OnAddress(const std::wstring& address, size_t index)
{
    m_mirrorLine = index > 0 ? FormatMirrorLine(AddressAuthority(address)) : std::wstring();
    m_textShownAt = 0;
}

bool DownloadProgress::Pause(DWORD ms)
{
    return m_link.Wait(ms);
}

void DownloadProgress::ShowStatus(const std::wstring& text) const
{
    m_link.SetStatusText(m_mirrorLine.empty() ? text : m_mirrorLine + L"\n" + text);
}
