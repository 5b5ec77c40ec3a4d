#include "update/check/Rollout.h"

#include "framework/ScopedHandle.h"
#include "support/CodePages.h"
#include "support/RegistryText.h"
#include "support/Sha256.h"

std::optional<int> ParseRolloutShare(const std::wstring& text)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int share = 0;
    for (const wchar_t c : text)
    {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        share = share * 10 + (c - L'0');
    }
    if (share > 100)
        return std::nullopt;
    return share;
}

int RolloutBucket(const std::wstring& machineGuid, const std::wstring& version)
{
    if (machineGuid.empty())
        return 0;
    // The registry keeps the letters as it was given them; the place must
    // not depend on that.
    std::wstring text = machineGuid;
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    const std::string bytes = EncodeText(text + L"/" + version, CP_UTF8);
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    const Sha256Digest digest = hash.Finish();
    const uint32_t first = static_cast<uint32_t>(digest[0]) << 24 | static_cast<uint32_t>(digest[1]) << 16 |
                           static_cast<uint32_t>(digest[2]) << 8 | digest[3];
    return static_cast<int>(first % 100);
}

std::wstring ReadMachineGuid()
{
    std::wstring guid;
    RegKey key;
    // Windows keeps it in the 64-bit view only: a 32-bit program must ask
    // for that view, or it finds nothing.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
    {
        key.Release();
        return guid;
    }
    ReadRegistryText(key.Get(), L"MachineGuid", 256, guid);
    return guid;
}
