#include "update/network/NetworkRoute.h"

#include "framework/ScopedHandle.h"
#include "framework/WinApp.h"
#include "support/RegistryText.h"
#include "update/network/NetworkTimeouts.h"

namespace
{
const wchar_t kInternetSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// Room for 1024 UTF-16 units, what a proxy list of the settings dialog holds.
const DWORD kProxyServerBudget = 2048;
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

std::unique_ptr<CInternetSession> OpenRouteSession(const NetworkRoute& route)
{
    auto session = std::make_unique<CInternetSession>(
        route.agent.c_str(), 1, route.useProxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
        route.useProxy ? route.proxy.c_str() : nullptr, nullptr, 0);
    ApplyNetworkTimeouts(session->Handle(), route.stallMs);
    return session;
}

const wchar_t* DescribeRoute(const NetworkRoute& route)
{
    return route.useProxy ? L"through the proxy" : L"direct";
}
