#include "support/StringHelpers.h"

#include "framework/WinApp.h"

const wchar_t kDefaultProductName[] = L"Qora企业版";

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

void ApplyEditionSubstitution(std::wstring& text)
{
    ReplaceAll(text, L"企业版", L"校园版");
}

std::wstring LoadResourceString(UINT id)
{
    const wchar_t* resource = nullptr;
    // With a zero buffer size LoadString hands out a read-only pointer to the
    // resource text itself, which is not zero-terminated.
    const int length = ::LoadStringW(ResourceInstance(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource)
        return std::wstring();
    return std::wstring(resource, static_cast<size_t>(length));
}

std::wstring TextOfBuffer(const wchar_t* buffer, size_t capacity)
{
    size_t length = 0;
    while (length < capacity && buffer[length] != L'\0')
        ++length;
    return std::wstring(buffer, length);
}

std::wstring DecodeText(const std::string& bytes, UINT codePage)
{
    if (bytes.empty())
        return std::wstring();
    const int length = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), length, &text[0], units);
    return text;
}

std::string EncodeText(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string result(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), length, &result[0], bytes, nullptr, nullptr);
    return result;
}
