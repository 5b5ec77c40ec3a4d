#include "update/network/NetworkRoute.h"

#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"
#include "support/RegistryText.h"
#include "support/RunLog.h"
#include "update/network/NetworkTimeouts.h"

namespace
{
const wchar_t kInternetSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// Room for 1024 UTF-16 units, what a proxy list of the settings dialog holds.
const DWORD kProxyServerBudget = 2048;

// WinINet's status callback for the handles of a session opened with a
// contact, all of which carry it as their context. With a proxy, the server
// WinINet connects to is the proxy. Nothing here may throw.
void CALLBACK NoteContact(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information, DWORD)
{
    if (context == 0)
        return;
    auto* contact = reinterpret_cast<ProxyContact*>(context);
    switch (status)
    {
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            contact->reached = true;
            // Made before the user asked: nothing goes out on it before then.
            if (contact->gate && !contact->gate->IsOpen())
            {
                contact->held = true;
                contact->gate->WaitOpen();
            }
            break;
        case INTERNET_STATUS_REQUEST_SENT:
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            contact->reached = true;
            break;
        case INTERNET_STATUS_REQUEST_COMPLETE:
            if (information)
                contact->completion.Report(handle, *static_cast<const INTERNET_ASYNC_RESULT*>(information));
            break;
        default:
            break;
    }
}
} // namespace

NetworkRoute ReadNetworkRoute()
{
    NetworkRoute route;
    route.agent = ApplicationTitle();
    int enabled = 0;
    ReadSystemProxy(enabled, route.proxy);
    route.useProxy = enabled != 0;
    route.stallMs = StallTimeoutMs();
    return route;
}

int ReadSystemProxy(int& enabled, std::wstring& proxy)
{
    enabled = 0;
    RegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return 1;

    // Four bytes whatever the value's type, so a REG_DWORD and a four-byte
    // REG_BINARY both work and a shorter value fills the low bytes. A longer
    // value does not fit; what the buffer holds after such a query is not
    // defined, so it counts as switched off.
    int enable = 0;
    DWORD size = sizeof enable;
    if (::RegQueryValueExW(key.Get(), L"ProxyEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&enable),
                           &size) != ERROR_SUCCESS)
        enable = 0;
    if (enable == 0)
        return 1;

    enabled = 1;
    // A missing text, or one too long for its budget, leaves the proxy on
    // with an empty text.
    std::wstring text;
    ReadRegistryText(key.Get(), L"ProxyServer", kProxyServerBudget, text);
    proxy = text;
    return 1;
}

std::unique_ptr<CInternetSession> OpenRouteSession(const NetworkRoute& route, ProxyContact* contact,
                                                   Waiting waiting)
{
    // A direct route must not be the preconfigured one, which names the
    // very proxy it goes around.
    const DWORD access = route.direct     ? INTERNET_OPEN_TYPE_DIRECT
                         : route.useProxy ? INTERNET_OPEN_TYPE_PROXY
                                          : INTERNET_OPEN_TYPE_PRECONFIG;
    auto session = std::make_unique<CInternetSession>(
        route.agent.c_str(), ContactContext(contact), access,
        access == INTERNET_OPEN_TYPE_PROXY ? route.proxy.c_str() : nullptr, nullptr,
        waiting == Waiting::InBackground ? INTERNET_FLAG_ASYNC : 0);
    ApplyNetworkTimeouts(session->Handle(), route.stallMs);
    // Every handle of the session inherits the callback, and carries the
    // contact as its context.
    if (contact)
        ::InternetSetStatusCallbackW(session->Handle(), NoteContact);
    return session;
}

DWORD_PTR ContactContext(ProxyContact* contact)
{
    return contact ? reinterpret_cast<DWORD_PTR>(contact) : 1;
}

bool IsProxyUnreachable(const NetworkRoute& route, DWORD error, const ProxyContact& contact)
{
    if (!route.useProxy || route.direct || contact.reached)
        return false;
    // Measured under Wine 8: a proxy port nobody listens on gives 12029 at
    // once, a proxy name that does not resolve 12007, and a proxy that never
    // takes the connection 12029 when the system's own connect time-out
    // ends (Wine does not apply WinINet's); Windows reports its connect
    // time-out as 12002. In none of these did the callback report a
    // connection. A proxy that takes the connection and then stays silent
    // ends in 12002 or 12030 after it was reached: that is no dead proxy.
    switch (error)
    {
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
        case ERROR_INTERNET_TIMEOUT:
            return true;
        default:
            return false;
    }
}

NetworkRoute DirectRoute(const NetworkRoute& route)
{
    NetworkRoute direct = route;
    direct.useProxy = false;
    direct.direct = true;
    return direct;
}

const wchar_t* DescribeRoute(const NetworkRoute& route)
{
    if (route.direct)
        return L"direct, around the proxy";
    return route.useProxy ? L"through the proxy" : L"direct";
}

std::wstring DescribeUnreachableProxy(const NetworkRoute& route, DWORD error)
{
    return L"the proxy " + ProxyForLog(route.proxy) + L" cannot be reached: " + DescribeError(error);
}
