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
#include "update/network/NetworkRoute.h"

// What an answer says about the body that follows.
struct PackageAnswer
{
    unsigned status = 0;
    std::wstring contentLength; // empty when absent
    std::wstring contentRange;
    std::wstring etag;
    std::wstring lastModified;
    std::wstring contentType; // empty when absent

    // What a later request must name to continue this body: the ETag, or
    // failing that the Last-Modified date; empty when there is neither.
    const std::wstring& Validator() const { return etag.empty() ? lastModified : etag; }
};

// How often the request is sent again with the proxy's credentials while
// the proxy keeps asking for them.
constexpr int kMaxDownloadProxyAuthRetries = 3;
// The credentials the update service's proxies are configured to take from
// the download, which differ from the check's. They are part of that
// deployment, not a user's secret: proxies in the field rely on exactly these.
extern const wchar_t kDownloadProxyUser[];
extern const wchar_t kDownloadProxyPassword[];

class PackageRequest
{
  public:
    // Opens the session and the connection; raises CInternetException when
    // the address is not an HTTP or HTTPS address or nothing can be opened.
    PackageRequest(const std::wstring& url, const NetworkRoute& route);

    // Sends one GET; with `offset` above zero, for the bytes from there on,
    // under `validator` (If-Range; none when empty). When the route's proxy
    // itself cannot be reached, the GET is sent once more straight to the
    // server (logged). Raises CInternetException when no answer comes;
    // otherwise fills `answer` and returns the request to read from.
    std::unique_ptr<CHttpFile> Send(uint64_t offset, const std::wstring& validator, PackageAnswer& answer);

  private:
    std::unique_ptr<CHttpFile> SendOn(const CHttpConnection& connection, const NetworkRoute& route,
                                      uint64_t offset, const std::wstring& validator, PackageAnswer& answer);

    NetworkRoute m_route;
    std::wstring m_host;
    INTERNET_PORT m_port = 0;
    std::wstring m_object; // path and query
    bool m_secure = false;
    // Declared before the sessions it watches, so it outlives them.
    ProxyContact m_contact;
    std::unique_ptr<CInternetSession> m_session;
    std::unique_ptr<CHttpConnection> m_connection;
    // Around a proxy that cannot be reached; opened the first time it is.
    std::unique_ptr<CInternetSession> m_directSession;
    std::unique_ptr<CHttpConnection> m_directConnection;
};
