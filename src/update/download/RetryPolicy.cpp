#include "update/download/RetryPolicy.h"

DWORD RetryDelayMs(int retry)
{
    if (retry < 1)
        return 0;
    return 1000u << (retry > kMaxDownloadRetries ? kMaxDownloadRetries - 1 : retry - 1);
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

std::wstring RetryPolicy::WhyGivingUp() const
{
    if (m_tries >= kMaxDownloadTries)
        return std::to_wstring(m_tries) + L" tries made";
    return std::to_wstring(kMaxDownloadRetries + 1) + L" tries in a row brought less than " +
           std::to_wstring(kProgressBytes) + L" bytes each";
}
