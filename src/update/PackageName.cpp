#include "update/PackageName.h"

#include <cwctype>

namespace
{
bool IsDeviceName(const std::wstring& name)
{
    // CON, PRN, AUX, NUL, COM1..9, LPT1..9, with or without an extension.
    std::wstring stem = name.substr(0, name.find(L'.'));
    for (wchar_t& c : stem)
        c = static_cast<wchar_t>(std::towupper(c));
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}
} // namespace

std::wstring LastUrlSegment(const std::wstring& url)
{
    const size_t slash = url.rfind(L'/');
    return slash == std::wstring::npos ? url : url.substr(slash + 1);
}

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
