#include "application/RunDeadline.h"

#include "framework/WorkerThread.h"
#include "framework/Wnd.h"
#include "support/WideText.h"

const wchar_t kDeadlineSecondsVariable[] = L"QVXLIVEUPDATE_DEADLINE_SECONDS";

DWORD DeadlineMs(unsigned minutes)
{
    const unsigned seconds = EnvironmentNumber(kDeadlineSecondsVariable, 1, 86400);
    return seconds ? seconds * 1000 : minutes * 60000;
}

std::wstring DescribeDeadline(DWORD ms)
{
    if (ms % 60000)
        return std::to_wstring(ms / 1000) + L" s";
    return std::to_wstring(ms / 60000) + (ms == 60000 ? L" minute" : L" minutes");
}

DeadlineWatch::DeadlineWatch(DWORD ms, std::function<void()> atDeadline)
    : m_at(::GetTickCount64() + ms), m_atDeadline(std::move(atDeadline)),
      m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (m_stop)
        m_thread = StartThread(Watch, this);
}

DeadlineWatch::~DeadlineWatch()
{
    if (!m_thread)
        return;
    ::SetEvent(m_stop.Get());
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
}

DWORD DeadlineWatch::Left() const
{
    const ULONGLONG now = ::GetTickCount64();
    return now < m_at ? static_cast<DWORD>(m_at - now) : 0;
}

unsigned __stdcall DeadlineWatch::Watch(void* self)
{
    auto* watch = static_cast<DeadlineWatch*>(self);
    if (::WaitForSingleObject(watch->m_stop.Get(), watch->Left()) == WAIT_TIMEOUT)
        RunGuarded(watch->m_atDeadline);
    return 0;
}
