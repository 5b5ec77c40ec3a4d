#include "framework/InternetSession.h"

CInternetSession::CInternetSession(const wchar_t* pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   const wchar_t* pstrProxyName, const wchar_t* pstrProxyBypass,
                                   DWORD dwFlags)
    : m_hSession(::InternetOpenW(pstrAgent, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags)),
      m_dwContext(dwContext)
{
    if (!m_hSession)
        ThrowLastInternetError(dwContext);
}

bool CInternetSession::SetOption(DWORD dwOption, DWORD dwValue) const
{
    return ::InternetSetOptionExW(m_hSession.Get(), dwOption, &dwValue, sizeof dwValue, 0) != FALSE;
}

std::unique_ptr<CHttpConnection> CInternetSession::GetHttpConnection(const wchar_t* pstrServer,
                                                                     INTERNET_PORT nPort,
                                                                     const wchar_t* pstrUserName,
                                                                     const wchar_t* pstrPassword) const
{
    HINTERNET hConnection = ::InternetConnectW(m_hSession.Get(), pstrServer, nPort, pstrUserName,
                                               pstrPassword, INTERNET_SERVICE_HTTP, 0, m_dwContext);
    if (!hConnection)
        ThrowLastInternetError(m_dwContext);
    return std::make_unique<CHttpConnection>(hConnection, m_dwContext);
}

std::unique_ptr<CHttpFile> CInternetSession::OpenURL(const wchar_t* pstrURL, DWORD_PTR dwContext,
                                                     DWORD dwFlags) const
{
    HINTERNET hFile = ::InternetOpenUrlW(m_hSession.Get(), pstrURL, nullptr, 0, dwFlags, dwContext);
    if (!hFile)
        ThrowLastInternetError(dwContext);
    return std::make_unique<CHttpFile>(hFile, dwContext);
}
