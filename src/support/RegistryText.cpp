#include "support/RegistryText.h"

#include <algorithm>
#include <vector>

std::wstring TextFromRegistryData(const BYTE* data, size_t size)
{
    std::wstring text;
    const size_t units = size / sizeof(wchar_t);
    text.reserve(units);
    for (size_t i = 0; i < units; ++i)
    {
        const wchar_t unit = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == L'\0')
            break;
        text.push_back(unit);
    }
    return text;
}

bool ReadRegistryText(HKEY key, const wchar_t* name, DWORD budgetBytes, std::wstring& text)
{
    std::vector<BYTE> buffer(budgetBytes, 0);
    DWORD size = budgetBytes;
    if (::RegQueryValueExW(key, name, nullptr, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    text = TextFromRegistryData(buffer.data(), std::min<size_t>(size, budgetBytes));
    return true;
}
