#pragma once
// The version-check request: POST "/gdisp.xml?" to the dispatch server,
// carrying the installed version, and the reply body that comes back.

#include <windows.h>
#include <wininet.h>

#include <string>

#include "update/network/NetworkRoute.h"

struct VersionRequest
{
    std::wstring server;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    bool secure = false;
    std::wstring installedVersion;
    NetworkRoute route; // its stall time: no byte for this long and the check fails
};

// The credentials the update service's proxies are configured to take from
// the check's probe. They are part of that deployment, not a user's secret:
// servers and proxies in the field rely on exactly these.
extern const wchar_t kCheckProxyUser[];
extern const wchar_t kCheckProxyPassword[];

// How often a request is sent again with the proxy credentials while the
// proxy keeps asking for them, and how often a send is repeated after one of
// the certificate or redirect errors that a relaxed security flag may cure.
// Past these the condition counts as final.
constexpr int kMaxProxyAuthRetries = 3;
constexpr int kMaxSecurityResends = 3;
// Largest reply taken: far above any real answer, and a bound on what a
// broken or hostile server can make the program allocate.
constexpr DWORD kMaxReplyBytes = 4 * 1024 * 1024;

// Errors after which a send is repeated with SECURITY_FLAG_IGNORE_UNKNOWN_CA.
bool IsResendError(DWORD error);

// Loads what the check uses first (the network library and the XML
// component) on an idle thread of its own, once, so that the user who presses
// Next does not wait for their first load in the process.
void PreloadVersionCheck();

// What the check asks and of whom: the server and its first port from
// "netsetting.xml" (port 80 without TLS when it names none), the installed
// version from the client's record, and the network route. Logged.
VersionRequest PlanVersionCheck();

// The reply body up to its first zero byte. Every failure, including a status
// other than "200", a missing, non-positive or implausible Content-Length, a
// body shorter than announced and a server that stops sending for the stall
// time, raises CInternetException. The request and its outcome are logged.
// With `gate`, the connection is made at once and the request waits for the
// gate, with nothing sent; its times count from the gate's opening, and a
// connection closed while it waited is replaced once.
std::string FetchVersionReply(const VersionRequest& request, const SendGate* gate = nullptr);

// The reply decoded as text, as the reply reader takes it.
std::wstring DecodeVersionReply(const std::string& body);
