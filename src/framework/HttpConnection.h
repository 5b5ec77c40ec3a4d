#pragma once
// A WinINet connection to one HTTP server.

#include <memory>

#include "framework/HttpFile.h"

class CHttpConnection
{
  public:
    CHttpConnection(HINTERNET hConnection, DWORD_PTR dwContext)
        : m_hConnection(hConnection), m_dwContext(dwContext)
    {
    }
    HINTERNET Handle() const { return m_hConnection.Get(); }
    void Close() { m_hConnection.Reset(); }

    std::unique_ptr<CHttpFile> OpenRequest(const wchar_t* pstrVerb, const wchar_t* pstrObjectName,
                                           const wchar_t* pstrReferer, DWORD_PTR dwContext,
                                           const wchar_t** ppstrAcceptTypes, const wchar_t* pstrVersion,
                                           DWORD dwFlags) const;

  private:
    InternetHandle m_hConnection;
    DWORD_PTR m_dwContext;
};
