#pragma once
// The addresses a package download goes to in turn: the record's own, then
// its mirrors, then the record's own again. The request of each is opened
// the first time a try goes there.

#include <memory>
#include <string>
#include <vector>

#include "update/download/DownloadPlan.h"
#include "update/download/PackageDownload.h"
#include "update/download/PackageRequest.h"

class PackageAddresses
{
  public:
    explicit PackageAddresses(const DownloadPlan& plan);

    size_t Count() const { return m_urls.size(); }
    // The index of the address the next try goes to (0: the record's own).
    size_t Current() const { return m_current; }
    const std::wstring& Url() const { return m_urls[m_current]; }
    // The next address in turn.
    void MoveOn() { m_current = (m_current + 1) % m_urls.size(); }
    // Try `number` goes to the current address: when that is not where the
    // tries went so far, the log and `listener` hear of it.
    void AnnounceTry(int number, DownloadListener& listener);

    // The current address's request, opened when first needed; null when it
    // cannot be (not an HTTP or HTTPS address, or nothing can be opened),
    // with the error in `error` and in the log.
    PackageRequest* Request(DWORD& error);

  private:
    std::vector<std::wstring> m_urls;
    std::vector<std::unique_ptr<PackageRequest>> m_requests;
    NetworkRoute m_route;
    size_t m_current = 0;
    size_t m_announced = 0;
};
