#include "update/check/NetSetting.h"

#include <windows.h>

#include "framework/ComPtr.h"
#include "support/XmlDocument.h"

const wchar_t kNetSettingFileName[] = L"netsetting.xml";

namespace
{
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
