#include "framework/InternetCompletion.h"

void InternetCompletion::Expect(HINTERNET handle)
{
    m_expected = handle;
    // The end of an earlier call, reported after its wait was given up,
    // must not end this one's.
    ::ResetEvent(m_done.Get());
}

void InternetCompletion::Report(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) noexcept
{
    if (handle != m_expected.load())
        return;
    m_result = result;
    ::SetEvent(m_done.Get());
}

DWORD InternetCompletion::Wait(DWORD limitMs)
{
    const DWORD waited = ::WaitForSingleObject(m_done.Get(), limitMs);
    m_expected = nullptr;
    if (waited != WAIT_OBJECT_0)
        return ERROR_INTERNET_TIMEOUT;
    // A failed call reports FALSE and its error; a successful one may carry
    // a count in dwError.
    if (m_result.dwResult)
        return ERROR_SUCCESS;
    return m_result.dwError != ERROR_SUCCESS ? m_result.dwError : ERROR_GEN_FAILURE;
}
