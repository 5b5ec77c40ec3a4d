#pragma once
// One GET of the package, as many times as the download tries: the session
// and the connection are opened once, each try opens its own request, asking
// for the bytes from an offset on when it continues a partial file.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/HttpFile.h"
#include "framework/InternetSession.h"

struct PackageServer
{
    std::wstring url;
    std::wstring agent;
    bool useProxy = false;
    std::wstring proxy;
    DWORD stallMs = 30000;
};

// What an answer says about the body that follows.
struct PackageAnswer
{
    unsigned status = 0;
    std::wstring contentLength; // empty when absent
    std::wstring contentRange;
    std::wstring etag;
    std::wstring lastModified;

    // What a later request must name to continue this body: the ETag, or
    // failing that the Last-Modified date; empty when there is neither.
    const std::wstring& Validator() const { return etag.empty() ? lastModified : etag; }
};

// How often the request is sent again with the proxy's credentials while
// the proxy keeps asking for them.
constexpr int kMaxDownloadProxyAuthRetries = 3;

class PackageRequest
{
  public:
    // Opens the session and the connection; raises CInternetException when
    // the address is not an HTTP or HTTPS address or nothing can be opened.
    explicit PackageRequest(const PackageServer& server);

    // Sends one GET; with `offset` above zero, for the bytes from there on,
    // under `validator` (If-Range). Raises CInternetException when no answer
    // comes; otherwise fills `answer` and returns the request to read from.
    std::unique_ptr<CHttpFile> Send(uint64_t offset, const std::wstring& validator,
                                    PackageAnswer& answer) const;

  private:
    PackageServer m_server;
    std::wstring m_object; // path and query
    bool m_secure = false;
    CInternetSession m_session;
    std::unique_ptr<CHttpConnection> m_connection;
};
