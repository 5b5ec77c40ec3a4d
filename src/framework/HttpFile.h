#pragma once
// One HTTP request and its answer, over WinINet. Calls that must succeed
// raise CInternetException.

#include <string>

#include "framework/InternetCompletion.h"
#include "framework/InternetException.h"
#include "framework/InternetHandle.h"

class CHttpFile
{
  public:
    CHttpFile(HINTERNET hRequest, DWORD_PTR dwContext) : m_hFile(hRequest), m_dwContext(dwContext) {}

    HINTERNET Handle() const { return m_hFile.Get(); }
    void Close() { m_hFile.Reset(); }

    // For a request of a session opened with INTERNET_FLAG_ASYNC: its calls
    // that end later are waited for through `completion`, which the
    // session's status callback reports to, for at most `limitMs` each.
    void WaitThrough(InternetCompletion& completion, DWORD limitMs)
    {
        m_completion = &completion;
        m_waitLimitMs = limitMs;
    }

    bool QueryOption(DWORD dwOption, DWORD& dwValue) const;
    // False when the option was not taken; callers decide whether that matters.
    bool SetOption(DWORD dwOption, DWORD dwValue) const;
    // Text options: the length is given in characters, without the zero.
    bool SetOption(DWORD dwOption, const std::wstring& value) const;

    void SendRequest(const void* pOptional = nullptr, DWORD dwOptionalLength = 0) const;
    // False, with the last error set, when the header could not be added
    // (HTTP_ADDREQ_FLAG_ADD_IF_NEW of one that exists, for instance).
    bool AddRequestHeaders(const std::wstring& header, DWORD dwFlags) const;

    bool QueryStatusCode(DWORD& dwStatus) const;
    // The header or status as text; false when there is none.
    bool QueryInfo(DWORD dwInfoLevel, std::wstring& value) const;
    // A header by its name; false when there is none.
    bool QueryHeader(const std::wstring& name, std::wstring& value) const;

    // Bytes read, 0 at the end of the body. A read waits until all `nCount`
    // bytes have come or the body has ended.
    DWORD Read(void* pBuffer, DWORD nCount) const;
    // Of a request that waits inside its calls: waits until some of the body
    // has come, or it has ended; how many bytes can be read now without
    // waiting (0 at the end). A failure, a time-out among them, raises
    // CInternetException.
    DWORD QueryDataAvailable() const;
    // Of a request that waits through a completion: the bytes of the body
    // that have come, up to `nCount`, taken without waiting for more; waits
    // (within the time-outs) only while none has come. 0 at the end of the
    // body. A failure, a time-out among them, raises CInternetException.
    DWORD ReadArrived(void* pBuffer, DWORD nCount) const;

  private:
    // After a call that returned false: waits for it when it goes on in the
    // background, and raises its error, or the call's own.
    void AwaitPending() const;
    // The text of a query level, or of the header `name` (HTTP_QUERY_CUSTOM).
    bool QueryText(DWORD dwInfoLevel, const std::wstring& name, std::wstring& value) const;

    InternetHandle m_hFile;
    DWORD_PTR m_dwContext;
    InternetCompletion* m_completion = nullptr;
    DWORD m_waitLimitMs = 0;
};
