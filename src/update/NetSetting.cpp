#include "update/NetSetting.h"

#include <windows.h>

#include "framework/ComPtr.h"
#include "framework/ScopedHandle.h"
#include "support/RegistryText.h"
#include "support/XmlDocument.h"

const wchar_t kNetSettingFileName[] = L"netsetting.xml";

namespace
{
const wchar_t kInternetSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// The buffer the proxy text has always been read into: 1024 UTF-16 units.
const DWORD kProxyServerBudget = 2048;

// Everything the document hands out lives inside this function, so that it
// is all released before the caller leaves COM.
void ReadNetSetting(std::wstring& server, DispatchPortList& list)
{
    CXmlDocument document;
    // A failed load leaves no document element, and so nothing to read.
    document.LoadFromFile(kNetSettingFileName);
    const XmlNode dispatch = document.FindChild(document.GetRoot(), "Dispatch");
    if (!dispatch)
        return;

    DispatchPort entry = {0, 0};
    std::wstring ip;
    document.GetAttributeInt(dispatch, "default_port", entry.port);
    document.GetAttribute(dispatch, "ip", ip);
    document.GetAttributeInt(dispatch, "ssl", entry.ssl);
    server = ip;
    list.push_back(entry);

    for (const XmlNode& testPort : document.FindChildren(dispatch, "TestPort"))
    {
        DispatchPort test = {0, 0};
        document.GetAttributeInt(testPort, "port", test.port);
        document.GetAttributeInt(testPort, "ssl", test.ssl);
        list.push_back(test);
    }
}
} // namespace

int LoadNetSetting(std::wstring& server, DispatchPortList& list)
{
    ComApartment apartment;
    ReadNetSetting(server, list);
    return 1;
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
