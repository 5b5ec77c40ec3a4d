#include "update/download/PackageName.h"

#include <windows.h>

#include <cwchar>

#include "update/download/ResumeState.h"

namespace
{
bool IsDeviceName(const std::wstring& name)
{
    // Windows takes the part before the first dot, without its trailing
    // blanks, as the device: "NUL .exe" is NUL.
    std::wstring stem = name.substr(0, name.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    for (wchar_t& c : stem)
    {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    {
        if (stem == device)
            return true;
    }
    // COM0..COM9 and LPT0..LPT9, and the superscript digits 1, 2 and 3.
    const wchar_t last = stem.size() == 4 ? stem[3] : L'\0';
    return (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           ((last >= L'0' && last <= L'9') || last == L'\u00B9' || last == L'\u00B2' || last == L'\u00B3');
}
} // namespace

bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name.find_first_not_of(L'.') == std::wstring::npos)
        return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == 0x7F || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos)
            return false;
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    return !IsDeviceName(name);
}

bool IsUsablePackageName(const std::wstring& folder, const std::wstring& name)
{
    return IsPlainFileName(name) && folder.size() + name.size() + wcslen(kResumeStateSuffix) <= MAX_PATH - 1;
}
