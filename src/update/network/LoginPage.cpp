#include "update/network/LoginPage.h"

namespace
{
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring Lower(std::wstring_view text)
{
    std::wstring lower(text);
    for (wchar_t& c : lower)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
    {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}
} // namespace

bool IsHtmlContentType(std::wstring_view contentType)
{
    size_t begin = 0;
    while (begin < contentType.size() && IsBlank(contentType[begin]))
        ++begin;
    std::wstring_view type = contentType.substr(begin, contentType.find(L';', begin) - begin);
    while (!type.empty() && IsBlank(type.back()))
        type.remove_suffix(1);
    return Lower(type) == L"text/html";
}

std::wstring WebPageInstead(const std::wstring& contentType)
{
    if (!IsHtmlContentType(contentType))
        return std::wstring();
    return L"the answer is a web page (Content-Type " + contentType +
           L"), not the package: a network's login page?";
}

bool StartsLikeHtml(std::string_view body)
{
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    while (!body.empty() && IsBlank(static_cast<unsigned char>(body.front())))
        body.remove_prefix(1);
    return StartsWithNoCase(body, "<!doctype html") || StartsWithNoCase(body, "<html");
}

bool IsLoginPageAnswer(DWORD status, std::wstring_view contentType, const std::wstring& elsewhere)
{
    return !elsewhere.empty() || (status == 511 && IsHtmlContentType(contentType));
}

bool IsLoginPageBody(std::wstring_view contentType, std::string_view body, bool replyDocument)
{
    return StartsLikeHtml(body) || (IsHtmlContentType(contentType) && !replyDocument);
}
