#include "support/WebAddress.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>

namespace
{
std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    const size_t length = wcslen(prefix);
    return text.size() >= length && ::CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix,
                                                           static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// What the platform's parser reads of an absolute address.
struct CrackedAddress
{
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::wstring schemeText;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;
};

bool Crack(const std::wstring& url, CrackedAddress& cracked)
{
    if (url.empty() || url.size() > INTERNET_MAX_URL_LENGTH)
        return false;
    wchar_t scheme[INTERNET_MAX_SCHEME_LENGTH + 1] = {};
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::wstring path(INTERNET_MAX_URL_LENGTH + 1, L'\0');
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = INTERNET_MAX_SCHEME_LENGTH + 1;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    parts.lpszUrlPath = &path[0];
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return false;
    cracked.scheme = parts.nScheme;
    cracked.schemeText = Lower(scheme);
    cracked.host = Lower(host);
    // Wine's parser cuts a bracketed IPv6 literal without a port at its
    // first colon ("[:"); the literal is then taken as the text writes it.
    if (!cracked.host.empty() && cracked.host.front() == L'[' && cracked.host.back() != L']')
    {
        const size_t open = url.find(L'[');
        const size_t close = url.find(L']', open);
        if (close == std::wstring::npos)
            return false;
        cracked.host = Lower(url.substr(open, close - open + 1));
    }
    // An IPv6 literal is written in brackets wherever a port may follow.
    if (cracked.host.find(L':') != std::wstring::npos && cracked.host.front() != L'[')
        cracked.host = L"[" + cracked.host + L"]";
    cracked.port = parts.nPort;
    cracked.path.assign(path.c_str());
    return !cracked.host.empty();
}

bool IsSchemesOwnPort(const CrackedAddress& cracked)
{
    return (cracked.scheme == INTERNET_SCHEME_HTTP && cracked.port == INTERNET_DEFAULT_HTTP_PORT) ||
           (cracked.scheme == INTERNET_SCHEME_HTTPS && cracked.port == INTERNET_DEFAULT_HTTPS_PORT);
}

std::wstring Authority(const CrackedAddress& cracked)
{
    return IsSchemesOwnPort(cracked) ? cracked.host : cracked.host + L":" + std::to_wstring(cracked.port);
}

// Everything after the last "@" of the text after "://" (from `begin`):
// no user information, whatever it holds, survives it.
std::wstring WithoutUserInformation(const std::wstring& url, size_t begin)
{
    const size_t at = url.rfind(L'@');
    if (at == std::wstring::npos || at < begin)
        return url;
    return url.substr(0, begin) + url.substr(at + 1);
}
} // namespace

bool IsWebAddress(const std::wstring& url)
{
    // The scheme's own text first: the platform's parser takes a prefix of a
    // scheme's name ("h://") for it. Then a host, as the parser finds it.
    for (const wchar_t* scheme : {L"http://", L"https://"})
    {
        const size_t length = wcslen(scheme);
        CrackedAddress cracked;
        if (url.size() > length && StartsWithNoCase(url, scheme))
            return url[length] != L'/' && url[length] != L'\\' && Crack(url, cracked) &&
                   (cracked.scheme == INTERNET_SCHEME_HTTP || cracked.scheme == INTERNET_SCHEME_HTTPS);
    }
    return false;
}

std::wstring LastUrlSegment(const std::wstring& url)
{
    const size_t slash = url.rfind(L'/');
    return slash == std::wstring::npos ? url : url.substr(slash + 1);
}

bool IsMirrorOf(const std::wstring& mirror, const std::wstring& url)
{
    const std::wstring name = LastUrlSegment(url), mirrored = LastUrlSegment(mirror);
    // The package takes the first address's name: another name is another
    // file. Letter case does not name another file where it is stored.
    return IsWebAddress(mirror) && !mirrored.empty() &&
           ::CompareStringOrdinal(mirrored.c_str(), static_cast<int>(mirrored.size()), name.c_str(),
                                  static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

std::wstring AddressHost(const std::wstring& url)
{
    CrackedAddress cracked;
    return Crack(url, cracked) ? cracked.host : std::wstring();
}

std::wstring AddressAuthority(const std::wstring& url)
{
    CrackedAddress cracked;
    return Crack(url, cracked) ? Authority(cracked) : std::wstring();
}

std::wstring OtherHost(const std::wstring& url, const std::wstring& server)
{
    const std::wstring host = AddressHost(url);
    if (host.empty())
        return host;
    std::wstring own = Lower(server);
    if (own.find(L':') != std::wstring::npos && own.front() != L'[')
        own = L"[" + own + L"]";
    return host == own ? std::wstring() : host;
}

std::wstring AddressForLog(const std::wstring& url)
{
    const size_t scheme = url.find(L"://");
    if (scheme == std::wstring::npos || scheme == 0)
    {
        const std::wstring kept = url.substr(0, url.find_first_of(L"?#"));
        const size_t at = kept.rfind(L'@');
        return at == std::wstring::npos ? kept : kept.substr(at + 1);
    }
    const std::wstring plain = WithoutUserInformation(url, scheme + 3);
    CrackedAddress cracked;
    if (!Crack(plain, cracked))
        return url.substr(0, scheme + 3) + L"(an address the URL parser cannot read)";
    std::wstring path = cracked.path.substr(0, cracked.path.find_first_of(L"?#"));
    if (!path.empty() && path.front() != L'/')
        path.insert(0, L"/");
    return cracked.schemeText + L"://" + Authority(cracked) + path;
}
