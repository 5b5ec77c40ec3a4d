#include "update/check/VersionRequest.h"

#include <cstring>
#include <vector>

#include "framework/InternetSession.h"
#include "framework/WinApp.h"
#include "framework/WorkerThread.h"
#include "framework/Wnd.h"
#include "support/XmlDocument.h"
#include "support/RunLog.h"
#include "support/Utf8.h"
#include "support/WebAddress.h"
#include "update/check/NetSetting.h"
#include "update/check/VersionReply.h"
#include "update/network/LoginPage.h"
#include "update/network/NetworkTimeouts.h"
#include "update/network/ServerClock.h"
#include "update/record/ClientRecord.h"

const wchar_t kCheckProxyUser[] = L"wfz";
const wchar_t kCheckProxyPassword[] = L"482915";

namespace
{
const DWORD kPlainFlags = INTERNET_FLAG_KEEP_CONNECTION;
const DWORD kSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION |
                           INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
static_assert(kSecureFlags == 0x00C03000, "the secure request flags");

void AllowUnknownAuthority(const CHttpFile& file)
{
    DWORD flags = 0;
    file.QueryOption(INTERNET_OPTION_SECURITY_FLAGS, flags);
    file.SetOption(INTERNET_OPTION_SECURITY_FLAGS, flags | SECURITY_FLAG_IGNORE_UNKNOWN_CA);
}

void SendRepeatingAfterSecurityErrors(const CHttpFile& file)
{
    for (int resends = 0;; ++resends)
    {
        try
        {
            file.SendRequest();
            return;
        }
        catch (const CInternetException& e)
        {
            if (!IsResendError(e.m_dwError) || resends == kMaxSecurityResends)
                throw;
        }
        AllowUnknownAuthority(file);
    }
}

[[noreturn]] void Fail()
{
    throw CInternetException(ERROR_INTERNET_INVALID_OPERATION, 1);
}

// The address the request ended at, after any redirects WinINet followed.
std::wstring FinalAddress(const CHttpFile& file)
{
    wchar_t url[2048] = {};
    DWORD size = sizeof url;
    return ::InternetQueryOptionW(file.Handle(), INTERNET_OPTION_URL, url, &size) ? std::wstring(url)
                                                                                  : std::wstring();
}

// The host the answer leads away to when that is not the server: the end of
// the redirects WinINet followed, or the Location of one it did not follow.
std::wstring RedirectedHost(const CHttpFile& file, DWORD status, const std::wstring& server)
{
    std::wstring host = OtherHost(FinalAddress(file), server);
    std::wstring location;
    if (host.empty() && status >= 300 && status < 400 && file.QueryInfo(HTTP_QUERY_LOCATION, location))
        host = OtherHost(location, server);
    return host;
}

[[noreturn]] void FailAsLoginPage(DWORD status, const std::wstring& type, const std::wstring& elsewhere,
                                  const wchar_t* sign)
{
    LogEvent(L"check: the answer is a network's login page, not the update server's (status " +
             std::to_wstring(status) + L", Content-Type " + (type.empty() ? L"none" : type) + L", " +
             (elsewhere.empty() ? std::wstring(L"no Location elsewhere") : L"Location host " + elsewhere) +
             L", " + sign + L")");
    throw LoginPageAnswer();
}

// The last send of the check. A redirect WinINet followed to a login page's
// host that it then cannot reach fails the send: that is a login page too.
void SendFinal(const CHttpFile& file, const VersionRequest& request, bool repeatAfterSecurityErrors)
{
    try
    {
        if (repeatAfterSecurityErrors)
            SendRepeatingAfterSecurityErrors(file);
        else
            file.SendRequest();
    }
    catch (const CInternetException&)
    {
        const std::wstring elsewhere = OtherHost(FinalAddress(file), request.server);
        if (elsewhere.empty())
            throw;
        // What the redirect itself said is still there.
        DWORD status = 0;
        std::wstring type;
        file.QueryStatusCode(status);
        file.QueryInfo(HTTP_QUERY_CONTENT_TYPE, type);
        FailAsLoginPage(status, type, elsewhere, L"redirected away, which cannot be reached");
    }
}

// The `length` bytes of the reply's body, and two zeros after them.
std::vector<char> ReadReplyBody(const CHttpFile& file, DWORD length)
{
    std::vector<char> body(length + 2, '\0');
    DWORD received = 0;
    // A trickle must not hold the check.
    PaceFloor pace(::GetTickCount64(), length);
    while (received < length)
    {
        // What has come, so that the pace is judged as the bytes arrive.
        const DWORD available = file.QueryDataAvailable();
        const DWORD want = available > 0 && available < length - received ? available : length - received;
        const DWORD read = file.Read(body.data() + received, want);
        if (read == 0)
            break;
        received += read;
        if (!pace.Arrived(read, length - received, ::GetTickCount64()))
        {
            LogEvent(L"check: the reply brought " + PaceFloor::Describe() + L" (" +
                     std::to_wstring(received) + L" of " + std::to_wstring(length) +
                     L" bytes): counted as stalled");
            Fail();
        }
    }
    if (received < length)
    {
        LogEvent(L"check: the reply ended after " + std::to_wstring(received) + L" of " +
                 std::to_wstring(length) + L" bytes");
        Fail();
    }
    return body;
}

// When the request was asked for: `start`, or the opening of the gate it
// waited at.
ULONGLONG AskedAt(ULONGLONG start, const ProxyContact& contact)
{
    return contact.gate && contact.gate->OpenedAt() > start ? contact.gate->OpenedAt() : start;
}

// The failures of a connection its other end closed: a server or a proxy
// drops one that carries no request for a while.
bool IsLostConnection(DWORD error)
{
    return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

std::string FetchReply(const VersionRequest& request, const NetworkRoute& route, const std::wstring& target,
                       ULONGLONG start, ProxyContact& contact)
{
    const std::unique_ptr<CInternetSession> session = OpenRouteSession(route, &contact);
    auto connection = session->GetHttpConnection(request.server.c_str(), request.port, L"", L"");
    auto file = connection->OpenRequest(L"POST", L"/gdisp.xml?", nullptr, ContactContext(&contact), nullptr,
                                        nullptr, request.secure ? kSecureFlags : kPlainFlags);
    ApplyNetworkTimeouts(file->Handle(), route.stallMs);
    if (request.secure)
        AllowUnknownAuthority(*file);

    if (route.useProxy)
    {
        // A probe without the headers, answered with the proxy's credentials
        // while it asks for them; its body is not read.
        for (int retries = 0;; ++retries)
        {
            SendRepeatingAfterSecurityErrors(*file);
            DWORD status = 0;
            file->QueryStatusCode(status);
            if (status != HTTP_STATUS_PROXY_AUTH_REQ || retries == kMaxProxyAuthRetries)
                break;
            file->SetOption(INTERNET_OPTION_PROXY_USERNAME, std::wstring(kCheckProxyUser));
            file->SetOption(INTERNET_OPTION_PROXY_PASSWORD, std::wstring(kCheckProxyPassword));
        }
    }

    file->AddRequestHeaders(L"Host: " + request.server, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    file->AddRequestHeaders(L"Content-Type: application/x-www-form-urlencoded", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    file->AddRequestHeaders(L"Version:" + request.installedVersion, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    SendFinal(*file, request, route.useProxy);

    DWORD statusCode = 0;
    file->QueryStatusCode(statusCode);
    // A connection made before Next and closed by its other end meanwhile
    // brings no answer at all, though WinINet may report the send as done.
    if (statusCode == 0 && contact.held)
        throw CInternetException(ERROR_INTERNET_CONNECTION_RESET);
    std::wstring status;
    file->QueryInfo(HTTP_QUERY_STATUS_CODE, status);
    std::wstring lengthText, type;
    const bool hasLength = file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, lengthText);
    file->QueryInfo(HTTP_QUERY_CONTENT_TYPE, type);
    LogEvent(L"check: POST " + target + L" -> status " + status + L", Content-Length " +
             (hasLength ? lengthText : std::wstring(L"none")) + L", " + Elapsed(AskedAt(start, contact)));
    const std::wstring elsewhere = RedirectedHost(*file, statusCode, request.server);
    if (IsLoginPageAnswer(statusCode, type, elsewhere))
        FailAsLoginPage(statusCode, type, elsewhere, elsewhere.empty() ? L"a web page" : L"redirected away");
    if (status != L"200")
        Fail();
    const bool labelledHtml = IsHtmlContentType(type);
    const long long announced = _wtoi64(lengthText.c_str());
    if (announced <= 0 || announced > kMaxReplyBytes)
    {
        // A login page is often sent in chunks; the update server's reply
        // never is.
        if (labelledHtml)
            FailAsLoginPage(statusCode, type, elsewhere, L"a web page without a usable length");
        LogEvent(L"check: no usable Content-Length (at most " + std::to_wstring(kMaxReplyBytes) + L" bytes)");
        Fail();
    }

    const DWORD length = static_cast<DWORD>(announced);
    const std::vector<char> body = ReadReplyBody(*file, length);
    const std::string_view text(body.data(), strnlen(body.data(), length));
    // The label alone does not tell: many servers call everything they send
    // HTML. Only there is the body read as a reply to see what it is.
    const bool replyDocument =
        labelledHtml && ReadVersionReply(DecodeVersionReply(std::string(text))).hasStatus;
    if (IsLoginPageBody(type, text, replyDocument))
        FailAsLoginPage(statusCode, type, elsewhere,
                        StartsLikeHtml(text) ? L"the body is a web page"
                                             : L"a web page that is no update reply");
    // The server's clock, for a certificate that later seems out of date.
    std::wstring date;
    file->QueryInfo(HTTP_QUERY_DATE, date);
    KeepServerDate(date);

    file->Close();
    connection->Close();
    session->Close();
    return std::string(text);
}
} // namespace

bool IsResendError(DWORD error)
{
    switch (error)
    {
        case ERROR_INTERNET_INCORRECT_PASSWORD:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR:
        case ERROR_INTERNET_POST_IS_NON_SECURE:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        case ERROR_INTERNET_INVALID_CA:
            return true;
        default:
            return false;
    }
}

std::string FetchVersionReply(const VersionRequest& request, const SendGate* gate)
{
    const std::wstring target = std::wstring(request.secure ? L"https://" : L"http://") + request.server +
                                L":" + std::to_wstring(request.port) + L"/gdisp.xml?";
    const ULONGLONG start = ::GetTickCount64();
    NetworkRoute route = request.route;
    bool replaced = false;
    for (;;)
    {
        ProxyContact contact;
        contact.gate = gate;
        try
        {
            return FetchReply(request, route, target, start, contact);
        }
        catch (const CInternetException& e)
        {
            // Some WinINet builds report a time-out as an aborted connection:
            // the elapsed time tells a stall from a real abort.
            const ULONGLONG asked = AskedAt(start, contact);
            const bool stalled = ::GetTickCount64() - asked >= route.stallMs;
            if (contact.held && !replaced && !stalled && IsLostConnection(e.m_dwError))
            {
                LogEvent(L"check: the connection made before Next was closed meanwhile (" +
                         DescribeError(e.m_dwError) + L"); a new one");
                replaced = true;
                continue;
            }
            // A proxy left behind by a tool that no longer runs: once,
            // straight to the server.
            if (IsProxyUnreachable(route, e.m_dwError, contact))
            {
                LogEvent(L"check: " + DescribeUnreachableProxy(route, e.m_dwError) + L"; going direct");
                route = DirectRoute(route);
                continue;
            }
            if (e.m_dwError != ERROR_INTERNET_INVALID_OPERATION)
                LogEvent(L"check: POST " + target + L" failed after " + Elapsed(asked) + L": " +
                         DescribeError(e.m_dwError) +
                         (stalled ? L", no byte for " + std::to_wstring(route.stallMs / 1000) + L" s" : L""));
            throw;
        }
    }
}

VersionRequest PlanVersionCheck()
{
    // The XML component is used inside this call only: COM is not held
    // across the network wait.
    std::wstring server;
    DispatchPortList ports;
    LoadNetSetting(server, ports);
    VersionRequest request;
    request.server = server;
    // Only the first entry counts; the others are never tried.
    request.port = ports.empty() ? INTERNET_DEFAULT_HTTP_PORT : static_cast<INTERNET_PORT>(ports[0].port);
    request.secure = !ports.empty() && ports[0].ssl != 0;
    request.installedVersion = ReadInstalledVersion();
    request.route = ReadNetworkRoute();
    LogEvent(ports.empty() ? std::wstring(L"check: netsetting.xml names no server")
                           : L"check: server \"" + server + L"\" port " + std::to_wstring(ports[0].port) +
                                 L" ssl " + std::to_wstring(ports[0].ssl) + L" from netsetting.xml, " +
                                 DescribeRoute(request.route) + L", installed version \"" +
                                 request.installedVersion + L"\"");
    return request;
}

std::wstring DecodeVersionReply(const std::string& body)
{
    std::wstring reply;
    Utf8ToWide(reply, body.data(), body.size());
    return reply;
}

namespace
{
unsigned __stdcall LoadCheckComponents(void*)
{
    RunGuarded(
        []
        {
            // The network library's first session in the process sets up
            // what every later one shares; nothing is sent.
            InternetHandle(::InternetOpenW(ApplicationTitle().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                           nullptr, 0));
            WarmUpXmlComponent();
        });
    return 0;
}
} // namespace

void PreloadVersionCheck()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    StartIdleThread(LoadCheckComponents, nullptr);
}
