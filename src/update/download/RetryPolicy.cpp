#include "update/download/RetryPolicy.h"

#include "support/RunLog.h"
#include "support/WideText.h"
#include "update/download/PackageDownload.h"

namespace
{
// The first wait, 1 s, or for tests what QVXLIVEUPDATE_FIRST_RETRY_MS says
// (10 to 1000): a schedule that must be waited out whole would hold every
// test of a run that gives up for half a minute.
DWORD FirstRetryMs()
{
    static const DWORD ms = EnvironmentNumber(L"QVXLIVEUPDATE_FIRST_RETRY_MS", 10, 1000);
    return ms ? ms : 1000;
}
} // namespace

DWORD RetryDelayMs(int retry)
{
    if (retry < 1)
        return 0;
    return FirstRetryMs() << (retry > kMaxDownloadRetries ? kMaxDownloadRetries - 1 : retry - 1);
}

RetryPolicy::Next RetryPolicy::AfterTry(uint64_t added)
{
    ++m_tries;
    if (m_tries >= kMaxDownloadTries)
        return Next::GiveUp;
    if (added >= kProgressBytes)
    {
        m_counted = 0;
        return Next::AtOnce;
    }
    if (m_counted == kMaxDownloadRetries)
        return Next::GiveUp;
    ++m_counted;
    return Next::AfterWait;
}

RetryPolicy::Next RetryPolicy::AfterDroppedBytes()
{
    ++m_tries;
    return m_tries >= kMaxDownloadTries ? Next::GiveUp : Next::AtOnce;
}

std::wstring TryEndText(TryOutcome outcome, int number, const std::wstring& received,
                        const std::wstring& detail)
{
    const std::wstring prefix = L"download: try " + std::to_wstring(number);
    switch (outcome)
    {
        case TryOutcome::Accepted:
        case TryOutcome::Complete:
            return prefix + L" complete" + received;
        case TryOutcome::Failed:
        case TryOutcome::ClockWrong:
            return prefix + L" failed" + received + L": " + detail;
        case TryOutcome::Refused:
            return prefix + L": the answer (status " + detail + L") cannot be used";
        case TryOutcome::OtherEntity:
            return prefix + L": the 206 answer does not name the validator sent (" + detail +
                   L"): another file's bytes";
        case TryOutcome::FileError:
        case TryOutcome::DiskFull:
            return L"download: the partial file " + detail;
        case TryOutcome::OtherLength:
            return prefix + L" failed: the answer is not the record's package (" + detail +
                   L"); the bytes held stay for another try";
        case TryOutcome::Abandoned:
            return L"download: stopped by a confirmed Cancel" + received;
        case TryOutcome::NoSpace:
            break;
    }
    return std::wstring();
}

std::wstring RetryPolicy::WhyGivingUp() const
{
    if (m_tries >= kMaxDownloadTries)
        return std::to_wstring(m_tries) + L" tries made";
    return std::to_wstring(kMaxDownloadRetries + 1) + L" tries in a row brought less than " +
           std::to_wstring(kProgressBytes) + L" bytes each";
}

bool RetryPolicy::Follow(Next next, DownloadListener& listener, bool& left) const
{
    left = false;
    switch (next)
    {
        case Next::GiveUp:
            LogEvent(L"download: " + WhyGivingUp() + L"; giving up");
            return false;
        case Next::AtOnce:
            LogEvent(L"download: trying again at once");
            return true;
        case Next::AfterWait:
            break;
    }
    const DWORD wait = RetryDelayMs(m_counted);
    LogEvent(L"download: waiting " + std::to_wstring(wait / 1000) + L" s before retry " +
             std::to_wstring(m_counted) + L" of " + std::to_wstring(kMaxDownloadRetries));
    if (listener.OnRetryWait(wait, m_counted, kMaxDownloadRetries))
        return true;
    LogEvent(L"download: stopped by a confirmed Cancel while waiting to retry");
    left = true;
    return false;
}
