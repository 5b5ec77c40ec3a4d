// The yardstick for the wizard's network work: the same WinINet calls with
// nothing around them.
//   bare_wininet post <host> <port> <rounds>   the version-check request
//   bare_wininet get <url> <file>               the package download loop
// Prints one line of figures.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct Closer
{
    void operator()(HINTERNET h) const { ::InternetCloseHandle(h); }
};
using Internet = std::unique_ptr<void, Closer>;

double Now()
{
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool PostOnce(const wchar_t* host, INTERNET_PORT port)
{
    Internet session(::InternetOpenW(L"QVXLiveUpdate", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    Internet connection(::InternetConnectW(session.get(), host, port, L"", L"", INTERNET_SERVICE_HTTP, 0, 1));
    Internet request(::HttpOpenRequestW(connection.get(), L"POST", L"/gdisp.xml?", nullptr, nullptr, nullptr,
                                        INTERNET_FLAG_KEEP_CONNECTION, 1));
    if (!request)
        return false;
    const std::wstring headers =
        std::wstring(L"Host: ") + host +
        L"\r\nContent-Type: application/x-www-form-urlencoded\r\nVersion:2.0.0.0\r\n";
    ::HttpAddRequestHeadersW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                             HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
        return false;
    char buffer[4096];
    DWORD read = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0)
    {
    }
    return true;
}

int Post(const wchar_t* host, int port, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
    {
        const double start = Now();
        if (!PostOnce(host, static_cast<INTERNET_PORT>(port)))
            return std::printf("post failed\n"), 1;
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("post_median_ms=%.2f\n", times[times.size() / 2]);
    return 0;
}

int Get(const wchar_t* url, const wchar_t* path)
{
    const double start = Now();
    Internet session(::InternetOpenW(L"QVXLiveUpdate", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    Internet file(::InternetOpenUrlW(
        session.get(), url, nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY, 1));
    if (!file)
        return std::printf("open failed %lu\n", ::GetLastError()), 1;
    HANDLE out = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> buffer(8192);
    unsigned long long total = 0;
    DWORD read = 0, written = 0;
    while (::InternetReadFile(file.get(), buffer.data(), 8192, &read) && read > 0)
    {
        ::WriteFile(out, buffer.data(), read, &written, nullptr);
        total += read;
    }
    ::CloseHandle(out);
    const double ms = Now() - start;
    std::printf("bytes=%llu ms=%.0f mib_per_s=%.1f\n", total, ms, total / 1048576.0 / (ms / 1000.0));
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 5 && std::wstring(argv[1]) == L"post")
        return Post(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
    if (argc == 4 && std::wstring(argv[1]) == L"get")
        return Get(argv[2], argv[3]);
    std::printf("usage: bare_wininet post <host> <port> <rounds> | get <url> <file>\n");
    return 2;
}
