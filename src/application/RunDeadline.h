#pragma once
// An unattended run's deadline (/deadline): whatever the network or the
// installer do, the run has ended by then. It comes on a thread of its own,
// since the run's own thread may be waiting inside the network library.

#include <windows.h>

#include <functional>
#include <string>

#include "framework/ScopedHandle.h"

// For tests: the deadline in seconds (1 to 86400) instead of /deadline's
// minutes.
extern const wchar_t kDeadlineSecondsVariable[];

// The deadline of a run given `minutes`, in milliseconds.
DWORD DeadlineMs(unsigned minutes);

// For the log: "240 minutes", "1 minute", or seconds when a test asks for them.
std::wstring DescribeDeadline(DWORD ms);

class DeadlineWatch
{
  public:
    // `ms` from now, `atDeadline` runs on the watch's thread, unless the
    // watch has been stopped first. Without a thread, nothing runs then.
    DeadlineWatch(DWORD ms, std::function<void()> atDeadline);
    // Stops the watch; once the deadline has come, only after `atDeadline`
    // has returned (it may end the process instead).
    ~DeadlineWatch();
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

    bool IsWatching() const { return m_thread.IsValid(); }
    // Milliseconds until the deadline; 0 once it has passed.
    DWORD Left() const;

  private:
    static unsigned __stdcall Watch(void* self);

    ULONGLONG m_at;
    std::function<void()> m_atDeadline;
    KernelHandle m_stop;
    KernelHandle m_thread;
};
