#include "framework/HttpConnection.h"

std::unique_ptr<CHttpFile> CHttpConnection::OpenRequest(const wchar_t* pstrVerb,
                                                        const wchar_t* pstrObjectName,
                                                        const wchar_t* pstrReferer, DWORD_PTR dwContext,
                                                        const wchar_t** ppstrAcceptTypes,
                                                        const wchar_t* pstrVersion, DWORD dwFlags) const
{
    HINTERNET hRequest = ::HttpOpenRequestW(m_hConnection.Get(), pstrVerb, pstrObjectName, pstrVersion,
                                            pstrReferer, ppstrAcceptTypes, dwFlags, dwContext);
    if (!hRequest)
        ThrowLastInternetError(dwContext);
    return std::make_unique<CHttpFile>(hRequest, dwContext);
}
