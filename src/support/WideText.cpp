#include "support/WideText.h"

#include <windows.h>

#include <cwchar>

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    if (from.empty())
        return;
    // Built in one pass: replacing in place moves the rest of the text at
    // every match, which a text of many matches (a description of line
    // breaks) makes quadratic.
    std::wstring result;
    size_t done = 0;
    for (size_t pos = text.find(from); pos != std::wstring::npos; pos = text.find(from, done))
    {
        result.append(text, done, pos - done).append(to);
        done = pos + from.size();
    }
    if (done == 0)
        return;
    result.append(text, done, std::wstring::npos);
    text.swap(result);
}

std::wstring TextOfBuffer(const wchar_t* buffer, size_t capacity)
{
    size_t length = 0;
    while (length < capacity && buffer[length] != L'\0')
        ++length;
    return std::wstring(buffer, length);
}

unsigned EnvironmentNumber(const wchar_t* name, unsigned low, unsigned high)
{
    wchar_t text[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, text, 16);
    return length > 0 && length < 16 ? ParseNumberInRange(text, low, high) : 0;
}

unsigned ParseNumberInRange(const std::wstring& text, unsigned low, unsigned high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return 0;
    const unsigned value = static_cast<unsigned>(std::wcstoul(text.c_str(), nullptr, 10));
    return value >= low && value <= high ? value : 0;
}
