#pragma once
// A WinINet session: where connections and requests come from. Closes its
// handle when it goes; failures are raised as CInternetException.

#include <memory>

#include "framework/HttpConnection.h"

class CInternetSession
{
  public:
    CInternetSession(const wchar_t* pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                     const wchar_t* pstrProxyName, const wchar_t* pstrProxyBypass, DWORD dwFlags);
    HINTERNET Handle() const { return m_hSession.Get(); }
    void Close() { m_hSession.Reset(); }

    // False when the option was not taken; callers decide whether that matters.
    bool SetOption(DWORD dwOption, DWORD dwValue) const;

    std::unique_ptr<CHttpConnection> GetHttpConnection(const wchar_t* pstrServer, INTERNET_PORT nPort,
                                                       const wchar_t* pstrUserName,
                                                       const wchar_t* pstrPassword) const;
    std::unique_ptr<CHttpFile> OpenURL(const wchar_t* pstrURL, DWORD_PTR dwContext, DWORD dwFlags) const;

  private:
    InternetHandle m_hSession;
    DWORD_PTR m_dwContext;
};
