#include "update/download/PackageAddresses.h"

#include "support/RunLog.h"
#include "support/WebAddress.h"

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
