#include "update/record/Policy.h"

#include "framework/ScopedHandle.h"
#include "support/RegistryText.h"

namespace
{
const wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Qoravel\\LiveUpdate";
// Far beyond any version's length; a longer value reads as none, as every
// registry value here does.
const DWORD kPrefixBudgetBytes = 2048;

// A DWORD other than 0; anything else, noted, is no switch.
bool ReadSwitch(HKEY key, const wchar_t* name, std::vector<std::wstring>& notes)
{
    DWORD type = 0, value = 0, size = sizeof value;
    const LSTATUS status =
        ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return false;
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
    {
        notes.push_back(std::wstring(name) + L" is no DWORD: ignored");
        return false;
    }
    notes.push_back(std::wstring(name) + L" " + std::to_wstring(value));
    return value != 0;
}
} // namespace

UpdatePolicy ReadUpdatePolicy()
{
    UpdatePolicy policy;
    RegKey key;
    // Group Policy writes the 64-bit view; a 32-bit build must ask for it,
    // and on 32-bit Windows the flag is ignored.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.Receive()) != ERROR_SUCCESS)
    {
        key.Release();
        policy.notes.push_back(L"none set");
        return policy;
    }
    policy.updatesDisabled = ReadSwitch(key.Get(), L"UpdatesDisabled", policy.notes);
    if (ReadRegistryText(key.Get(), L"TargetVersionPrefix", kPrefixBudgetBytes, policy.versionPrefix))
        policy.notes.push_back(L"TargetVersionPrefix \"" + policy.versionPrefix + L"\"");
    policy.ignoreRollout = ReadSwitch(key.Get(), L"IgnoreRollout", policy.notes);
    if (policy.notes.empty())
        policy.notes.push_back(L"none set");
    return policy;
}

const UpdatePolicy& ThePolicy()
{
    static const UpdatePolicy policy = ReadUpdatePolicy();
    return policy;
}
