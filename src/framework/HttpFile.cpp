#include "framework/HttpFile.h"

#include <algorithm>
#include <vector>

bool CHttpFile::QueryOption(DWORD dwOption, DWORD& dwValue) const
{
    DWORD size = sizeof dwValue;
    return ::InternetQueryOptionW(m_hFile.Get(), dwOption, &dwValue, &size) != FALSE;
}

bool CHttpFile::SetOption(DWORD dwOption, DWORD dwValue) const
{
    return ::InternetSetOptionExW(m_hFile.Get(), dwOption, &dwValue, sizeof dwValue, 0) != FALSE;
}

bool CHttpFile::SetOption(DWORD dwOption, const std::wstring& value) const
{
    return ::InternetSetOptionExW(m_hFile.Get(), dwOption, const_cast<wchar_t*>(value.c_str()),
                                  static_cast<DWORD>(value.size()), 0) != FALSE;
}

void CHttpFile::AwaitPending() const
{
    const DWORD error = ::GetLastError();
    if (!m_completion || error != ERROR_IO_PENDING)
        ThrowLastInternetError(m_dwContext);
    const DWORD result = m_completion->Wait(m_waitLimitMs);
    if (result != ERROR_SUCCESS)
        throw CInternetException(result, m_dwContext);
}

void CHttpFile::SendRequest(const void* pOptional, DWORD dwOptionalLength) const
{
    if (m_completion)
        m_completion->Expect(m_hFile.Get());
    if (!::HttpSendRequestW(m_hFile.Get(), nullptr, 0, const_cast<void*>(pOptional), dwOptionalLength))
        AwaitPending();
}

bool CHttpFile::AddRequestHeaders(const std::wstring& header, DWORD dwFlags) const
{
    return ::HttpAddRequestHeadersW(m_hFile.Get(), header.c_str(), static_cast<DWORD>(header.size()),
                                    dwFlags) != FALSE;
}

bool CHttpFile::QueryStatusCode(DWORD& dwStatus) const
{
    DWORD size = sizeof dwStatus;
    return ::HttpQueryInfoW(m_hFile.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus, &size,
                            nullptr) != FALSE;
}

bool CHttpFile::QueryInfo(DWORD dwInfoLevel, std::wstring& value) const
{
    return QueryText(dwInfoLevel, std::wstring(), value);
}

bool CHttpFile::QueryHeader(const std::wstring& name, std::wstring& value) const
{
    return QueryText(HTTP_QUERY_CUSTOM, name, value);
}

bool CHttpFile::QueryText(DWORD dwInfoLevel, const std::wstring& name, std::wstring& value) const
{
    std::vector<wchar_t> buffer(std::max<size_t>(name.size() + 1, 64));
    for (;;)
    {
        // HTTP_QUERY_CUSTOM takes the name in the buffer that receives the
        // value.
        std::copy(name.begin(), name.end(), buffer.begin());
        buffer[name.size()] = L'\0';
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (::HttpQueryInfoW(m_hFile.Get(), dwInfoLevel, buffer.data(), &size, nullptr))
        {
            value.assign(buffer.data(), size / sizeof(wchar_t));
            return true;
        }
        // A header longer than any sane one is not worth growing for.
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 64 * 1024)
            return false;
        buffer.resize(size / sizeof(wchar_t) + 1);
    }
}

DWORD CHttpFile::Read(void* pBuffer, DWORD nCount) const
{
    DWORD read = 0;
    if (!::InternetReadFile(m_hFile.Get(), pBuffer, nCount, &read))
        ThrowLastInternetError(m_dwContext);
    return read;
}

DWORD CHttpFile::QueryDataAvailable() const
{
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(m_hFile.Get(), &available, 0, 0))
        ThrowLastInternetError(m_dwContext);
    return available;
}

DWORD CHttpFile::ReadArrived(void* pBuffer, DWORD nCount) const
{
    for (;;)
    {
        INTERNET_BUFFERSW buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.lpvBuffer = pBuffer;
        buffers.dwBufferLength = nCount;
        m_completion->Expect(m_hFile.Get());
        // Nothing read and success: the end of the body.
        if (::InternetReadFileExW(m_hFile.Get(), &buffers, IRF_NO_WAIT, m_dwContext))
            return buffers.dwBufferLength;
        // Nothing had come: the call goes on waiting for the first bytes,
        // leaving the buffer alone, and the next read takes them with
        // whatever came after.
        AwaitPending();
    }
}
