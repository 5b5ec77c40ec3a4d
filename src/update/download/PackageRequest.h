#pragma once
// The package's servers: the addresses a download goes to in turn, and at
// each one GET of the package, as many times as the tries go there. The
// session and the connection of an address are opened once, each try opens
// its own request, asking for the bytes from an offset on when it continues a
// partial file. The sessions wait in the background, so that the transfer
// reads what has come without waiting for a whole block
// (CHttpFile::ReadArrived).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/HttpFile.h"
#include "framework/InternetSession.h"
#include "update/network/NetworkRoute.h"

struct DownloadPlan;
class DownloadListener;

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
    // failing that the Last-Modified date; empty when there is neither. A
    // weak ETag ("W/...") promises no byte-for-byte sameness: such a body is
    // never continued.
    std::wstring Validator() const;
    // "status 206, Content-Length ..., Content-Range ..., ETag ..., validator
    // ...", for the log.
    std::wstring Describe() const;
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
    // Declared before the sessions it watches, so it outlives them; the
    // requests of both sessions wait through its completion.
    ProxyContact m_contact;
    std::unique_ptr<CInternetSession> m_session;
    std::unique_ptr<CHttpConnection> m_connection;
    // Around a proxy that cannot be reached; opened the first time it is.
    std::unique_ptr<CInternetSession> m_directSession;
    std::unique_ptr<CHttpConnection> m_directConnection;
};

// The addresses a package download goes to in turn: the record's own, then
// its mirrors, then the record's own again. The request of each is opened
// the first time a try goes there.
class PackageAddresses
{
  public:
    explicit PackageAddresses(const DownloadPlan& plan);

    size_t Count() const { return m_urls.size(); }
    // The index of the address the next try goes to (0: the record's own).
    size_t Current() const { return m_current; }
    const std::wstring& Url() const { return m_urls[m_current]; }
    // The next address in turn.
    void MoveOn() { m_current = (m_current + 1) % m_urls.size(); }
    // The index of `url` among the addresses; Count() when it is none of them.
    size_t Find(const std::wstring& url) const;
    // The tries begin at the address of `index` (an earlier run's bytes are
    // continued where they came from).
    void StartAt(size_t index) { m_current = index; }
    // Try `number` goes to the current address: when that is not where the
    // tries went so far, the log and `listener` hear of it.
    void AnnounceTry(int number, DownloadListener& listener);

    // The current address's request, opened when first needed; null when it
    // cannot be (not an HTTP or HTTPS address, or nothing can be opened),
    // with the error in `error` and in the log.
    PackageRequest* Request(DWORD& error);

  private:
    std::vector<std::wstring> m_urls;
    std::vector<std::unique_ptr<PackageRequest>> m_requests;
    NetworkRoute m_route;
    size_t m_current = 0;
    size_t m_announced = 0;
};
