// The demo's installation package: tells the user what it "installed",
// records the new version in the client's uninstall record (so the next
// check finds the client current) and reports to the updater that the user
// did not cancel.

#include <windows.h>

#include <string>

namespace
{
void SetRecordValue(HKEY key, const wchar_t* name, const std::wstring& value)
{
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    ::MessageBoxW(nullptr, L"Qora校园版 3.0 已经安装完成。", L"Qora校园版 安装程序",
                  MB_OK | MB_ICONINFORMATION);

    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qoravel", 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) == ERROR_SUCCESS)
    {
        SetRecordValue(key, L"DisplayVersion", L"3.0.0.0");
        SetRecordValue(key, L"MainVersion", L"3.0");
        ::RegCloseKey(key);
    }

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::WritePrivateProfileStringW(L"setuplog", L"UserCancel", L"no",
                                 (std::wstring(temp) + L"QVXLivaUpdate.ini").c_str());
    return 0;
}
