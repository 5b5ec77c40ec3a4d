#pragma once
// What the wizard reads of the machine, as the tests set it up and put it
// back: the settings file, the installed client's uninstall record and the
// user's system proxy.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "framework/ScopedHandle.h"

namespace harness
{
// The client's folder of the application data, which its installer made,
// and LiveUpdate.ini in it, where the wizard keeps its update record.
std::wstring SettingsFolder();
std::wstring IniPath();
void WriteIni(const std::string& bytes);
bool IniExists();
void RemoveIni();

// A text value (REG_SZ) written to a key.
LONG SetRegistryText(HKEY key, const wchar_t* name, const std::wstring& text);

// Replaces the uninstall record by these values (REG_SZ); no values given
// still creates the key.
void SetClientRecord(const std::map<std::wstring, std::wstring>& values);
// One value of the record, of any type, with its bytes as given.
void SetClientRecordValue(const wchar_t* name, DWORD type, const void* data, DWORD size);
void RemoveClientRecord();

// The current user's system proxy for the life of the object: what was there
// is put back at the end.
class SystemProxy
{
  public:
    SystemProxy();
    SystemProxy(DWORD enable, const std::wstring& server);
    ~SystemProxy();
    SystemProxy(const SystemProxy&) = delete;
    SystemProxy& operator=(const SystemProxy&) = delete;

    // A value of the proxy's key (ProxyEnable, ProxyServer) of any type.
    void Set(const wchar_t* name, DWORD type, const void* data, size_t size) const;
    void SetEnable(DWORD value) const { Set(L"ProxyEnable", REG_DWORD, &value, sizeof value); }
    void SetServer(const std::wstring& text) const
    {
        Set(L"ProxyServer", REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    void Delete(const wchar_t* name) const { ::RegDeleteValueW(m_key.Get(), name); }

  private:
    struct Saved
    {
        const wchar_t* name;
        bool exists;
        DWORD type;
        std::vector<BYTE> data;
    };
    Saved Save(const wchar_t* name) const;
    void Restore(const Saved& saved) const;

    RegKey m_key;
    bool m_createdKey = false;
    std::vector<Saved> m_saved;
};
} // namespace harness
