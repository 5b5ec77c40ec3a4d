#include "support/RegistryText.h"

#include <algorithm>
#include <vector>

std::wstring TextFromRegistryData(const BYTE* data, size_t size)
{
    std::wstring text;
    // An odd last byte is a unit of its own with a zero high byte, as the
    // zero-filled buffer the value is read into gives it.
    const size_t units = (size + 1) / sizeof(wchar_t);
    text.reserve(units);
    for (size_t i = 0; i < units; ++i)
    {
        const BYTE high = 2 * i + 1 < size ? data[2 * i + 1] : 0;
        const wchar_t unit = static_cast<wchar_t>(data[2 * i] | (high << 8));
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
