#include "harness/Machine.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "harness/Files.h"

namespace harness
{
namespace
{
const wchar_t kRecordKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qoravel";
const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
} // namespace

std::wstring SettingsFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, TRUE);
    return std::wstring(folder) + L"\\Qoravel";
}

std::wstring IniPath()
{
    return SettingsFolder() + L"\\LiveUpdate.ini";
}

void WriteIni(const std::string& bytes)
{
    ::CreateDirectoryW(SettingsFolder().c_str(), nullptr);
    WriteBytes(IniPath(), bytes);
}

bool IniExists()
{
    return FileExists(IniPath());
}

void RemoveIni()
{
    ::DeleteFileW(IniPath().c_str());
}

LONG SetRegistryText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetClientRecord(const std::map<std::wstring, std::wstring>& values)
{
    RemoveClientRecord();
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.Receive(), nullptr));
    for (const auto& [name, value] : values)
        SetRegistryText(key.Get(), name.c_str(), value);
}

void SetClientRecordValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.Receive(), nullptr));
    ::RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

void RemoveClientRecord()
{
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, KEY_WOW64_32KEY, 0);
}

SystemProxy::SystemProxy()
{
    DWORD disposition = 0;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      m_key.Receive(), &disposition);
    m_createdKey = disposition == REG_CREATED_NEW_KEY;
    m_saved = {Save(L"ProxyEnable"), Save(L"ProxyServer")};
}

SystemProxy::SystemProxy(DWORD enable, const std::wstring& server) : SystemProxy()
{
    SetEnable(enable);
    SetServer(server);
}

SystemProxy::~SystemProxy()
{
    for (const Saved& saved : m_saved)
        Restore(saved);
    m_key.Reset();
    if (m_createdKey)
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kInternetSettings);
}

void SystemProxy::Set(const wchar_t* name, DWORD type, const void* data, size_t size) const
{
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(m_key.Get(), name, 0, type, static_cast<const BYTE*>(data),
                                              static_cast<DWORD>(size)));
}

SystemProxy::Saved SystemProxy::Save(const wchar_t* name) const
{
    Saved saved{name, false, REG_NONE, {}};
    DWORD size = 0;
    saved.exists =
        ::RegQueryValueExW(m_key.Get(), name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS;
    saved.data.resize(size);
    if (saved.exists)
        ::RegQueryValueExW(m_key.Get(), name, nullptr, &saved.type, saved.data.data(), &size);
    return saved;
}

void SystemProxy::Restore(const Saved& saved) const
{
    if (saved.exists)
        ::RegSetValueExW(m_key.Get(), saved.name, 0, saved.type, saved.data.data(),
                         static_cast<DWORD>(saved.data.size()));
    else
        Delete(saved.name);
}
} // namespace harness
