#include "update/download/PackageRequest.h"

#include <algorithm>

#include "support/RunLog.h"
#include "support/WebAddress.h"
#include "update/download/DownloadPlan.h"
#include "update/download/PackageDownload.h"
#include "update/download/RangeAnswer.h"
#include "update/network/NetworkTimeouts.h"

const wchar_t kDownloadProxyUser[] = L"qjd";
const wchar_t kDownloadProxyPassword[] = L"858";

namespace
{
const DWORD kPackageRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY;

struct UrlParts
{
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;
    bool secure = false;
};

UrlParts CrackPackageUrl(const std::wstring& url)
{
    std::vector<wchar_t> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        ThrowLastInternetError();
    if ((parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        parts.dwHostNameLength == 0)
        throw CInternetException(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    UrlParts result;
    result.host.assign(host.data(), parts.dwHostNameLength);
    result.port = parts.nPort;
    result.object.assign(path.data(), parts.dwUrlPathLength);
    result.object.append(extra.data(), parts.dwExtraInfoLength);
    if (result.object.empty())
        result.object = L"/";
    result.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return result;
}

// The proxy asks again for credentials; answer with the download's own.
void AnswerProxyAuthentication(const CHttpFile& file)
{
    for (int retries = 0; retries < kMaxDownloadProxyAuthRetries; ++retries)
    {
        DWORD status = 0;
        file.QueryStatusCode(status);
        if (status != HTTP_STATUS_PROXY_AUTH_REQ)
            return;
        file.SetOption(INTERNET_OPTION_PROXY_USERNAME, std::wstring(kDownloadProxyUser));
        file.SetOption(INTERNET_OPTION_PROXY_PASSWORD, std::wstring(kDownloadProxyPassword));
        file.SendRequest();
    }
}

std::wstring Header(const CHttpFile& file, DWORD level)
{
    std::wstring value;
    return file.QueryInfo(level, value) ? value : std::wstring();
}

// By name: not every WinINet knows the query level of every header.
std::wstring NamedHeader(const CHttpFile& file, const wchar_t* name)
{
    std::wstring value;
    return file.QueryHeader(name, value) ? value : std::wstring();
}
} // namespace

std::wstring PackageAnswer::Validator() const
{
    if (IsWeakEntityTag(etag))
        return std::wstring();
    return etag.empty() ? lastModified : etag;
}

std::wstring PackageAnswer::Describe() const
{
    return L"status " + std::to_wstring(status) + L", Content-Length " +
           (contentLength.empty() ? L"none" : contentLength) +
           (contentRange.empty() ? L"" : L", Content-Range " + contentRange) +
           (etag.empty() ? L"" : L", ETag " + etag) +
           (Validator().empty() ? L", no validator" : L", validator " + Validator());
}

PackageRequest::PackageRequest(const std::wstring& url, const NetworkRoute& route)
    : m_route(route), m_session(OpenRouteSession(route, &m_contact, Waiting::InBackground))
{
    m_session->SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
    const UrlParts parts = CrackPackageUrl(url);
    m_host = parts.host;
    m_port = parts.port;
    m_object = parts.object;
    m_secure = parts.secure;
    m_connection = m_session->GetHttpConnection(m_host.c_str(), m_port, nullptr, nullptr);
}

std::unique_ptr<CHttpFile> PackageRequest::Send(uint64_t offset, const std::wstring& validator,
                                                PackageAnswer& answer)
{
    m_contact.reached = false;
    try
    {
        return SendOn(*m_connection, m_route, offset, validator, answer);
    }
    catch (const CInternetException& e)
    {
        if (!IsProxyUnreachable(m_route, e.m_dwError, m_contact))
            throw;
        LogEvent(L"download: " + DescribeUnreachableProxy(m_route, e.m_dwError) + L"; this try goes direct");
    }
    const NetworkRoute direct = DirectRoute(m_route);
    if (!m_directConnection)
    {
        m_directSession = OpenRouteSession(direct, &m_contact, Waiting::InBackground);
        m_directSession->SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
        m_directConnection = m_directSession->GetHttpConnection(m_host.c_str(), m_port, nullptr, nullptr);
    }
    return SendOn(*m_directConnection, direct, offset, validator, answer);
}

std::unique_ptr<CHttpFile> PackageRequest::SendOn(const CHttpConnection& connection,
                                                  const NetworkRoute& route, uint64_t offset,
                                                  const std::wstring& validator, PackageAnswer& answer)
{
    auto file = connection.OpenRequest(L"GET", m_object.c_str(), nullptr, ContactContext(&m_contact), nullptr,
                                       nullptr, kPackageRequestFlags | (m_secure ? INTERNET_FLAG_SECURE : 0));
    // Set on the request itself: not every WinINet passes the session's on.
    ApplyNetworkTimeouts(file->Handle(), route.stallMs);
    // WinINet's own time-outs end every call; the bound only keeps a call
    // whose end is never reported from holding the download for ever.
    file->WaitThrough(m_contact.completion, 2 * (kConnectTimeoutMs + route.stallMs));
    if (offset > 0)
    {
        file->AddRequestHeaders(L"Range: bytes=" + std::to_wstring(offset) + L"-", HTTP_ADDREQ_FLAG_ADD);
        if (!validator.empty())
            file->AddRequestHeaders(L"If-Range: " + validator, HTTP_ADDREQ_FLAG_ADD);
    }
    file->SendRequest();
    if (route.useProxy)
        AnswerProxyAuthentication(*file);

    DWORD status = 0;
    file->QueryStatusCode(status);
    answer = PackageAnswer{};
    answer.status = status;
    answer.contentLength = Header(*file, HTTP_QUERY_CONTENT_LENGTH);
    answer.contentRange = NamedHeader(*file, L"Content-Range");
    answer.etag = NamedHeader(*file, L"ETag");
    answer.lastModified = NamedHeader(*file, L"Last-Modified");
    answer.contentType = Header(*file, HTTP_QUERY_CONTENT_TYPE);
    return file;
}

PackageAddresses::PackageAddresses(const DownloadPlan& plan) : m_route(plan.route)
{
    m_urls.push_back(plan.url);
    m_urls.insert(m_urls.end(), plan.mirrors.begin(), plan.mirrors.end());
    m_requests.resize(m_urls.size());
}

PackageRequest* PackageAddresses::Request(DWORD& error)
{
    std::unique_ptr<PackageRequest>& request = m_requests[m_current];
    if (!request)
    {
        try
        {
            request = std::make_unique<PackageRequest>(m_urls[m_current], m_route);
        }
        catch (const CInternetException& e)
        {
            error = e.m_dwError;
            LogEvent(L"download: " + AddressForLog(m_urls[m_current]) + L" cannot be requested: " +
                     DescribeError(error));
            return nullptr;
        }
    }
    return request.get();
}

size_t PackageAddresses::Find(const std::wstring& url) const
{
    return static_cast<size_t>(std::find(m_urls.begin(), m_urls.end(), url) - m_urls.begin());
}

void PackageAddresses::AnnounceTry(int number, DownloadListener& listener)
{
    if (m_current == m_announced)
        return;
    m_announced = m_current;
    LogEvent(L"download: from try " + std::to_wstring(number) + L" on, the package is asked of " +
             AddressForLog(Url()) +
             (m_current > 0 ? L" (mirror " + std::to_wstring(m_current) + L")" : L" (its own address)"));
    listener.OnAddress(Url(), m_current);
}
