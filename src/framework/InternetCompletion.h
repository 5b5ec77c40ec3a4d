#pragma once
// The end of a WinINet call made on a session opened with INTERNET_FLAG_ASYNC:
// the call returns ERROR_IO_PENDING, the session's status callback reports
// the end here, and the calling thread waits for it.

#include <windows.h>
#include <wininet.h>

#include <atomic>

#include "framework/ScopedHandle.h"

class InternetCompletion
{
  public:
    InternetCompletion() : m_done(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    InternetCompletion(const InternetCompletion&) = delete;
    InternetCompletion& operator=(const InternetCompletion&) = delete;

    // Before each call that may end later: from now on only the end of a
    // call on `handle` counts.
    void Expect(HINTERNET handle);
    // What the status callback heard of INTERNET_STATUS_REQUEST_COMPLETE on
    // `handle`. Never throws.
    void Report(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) noexcept;
    // Waits for the expected call to end: ERROR_SUCCESS or its error;
    // ERROR_INTERNET_TIMEOUT when it has not ended after `limitMs`.
    DWORD Wait(DWORD limitMs);

  private:
    KernelHandle m_done;
    std::atomic<HINTERNET> m_expected{nullptr};
    INTERNET_ASYNC_RESULT m_result{};
};
