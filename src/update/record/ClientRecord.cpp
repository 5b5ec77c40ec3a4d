#include "update/record/ClientRecord.h"

#include "support/RegistryText.h"

RegKey OpenClientRecordKey()
{
    RegKey key;
    // The client is a 32-bit program: a 64-bit build of this one must ask
    // for the 32-bit view explicitly, and the 32-bit build already gets it.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qoravel", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Receive()) != ERROR_SUCCESS)
        key.Release();
    return key;
}

std::wstring ReadInstalledVersion()
{
    std::wstring version;
    RegKey key = OpenClientRecordKey();
    if (key)
        ReadRegistryText(key.Get(), L"DisplayVersion", kClientRecordValueBytes, version);
    return version;
}
