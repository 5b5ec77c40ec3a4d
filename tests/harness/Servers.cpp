#include "harness/Servers.h"

#include <wininet.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "harness/Files.h"

namespace harness
{
namespace
{
struct InternetHandleCloser
{
    void operator()(HINTERNET h) const { ::InternetCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetHandleCloser>;
} // namespace

int ServerPort(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

FaultServer::FaultServer() : m_port(ServerPort("FAULT_PORT")) {}

std::string FaultServer::Call(const wchar_t* verb, const std::wstring& path, const std::string& body,
                              DWORD* status) const
{
    Internet session(::InternetOpenW(L"e2e-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Internet connection(::InternetConnectW(session.get(), L"127.0.0.1", static_cast<INTERNET_PORT>(m_port),
                                           nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    Internet request(::HttpOpenRequestW(connection.get(), verb, path.c_str(), nullptr, nullptr, nullptr,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request)
        return std::string();
    const wchar_t headers[] = L"Content-Type: application/json\r\n";
    if (!::HttpSendRequestW(request.get(), headers, static_cast<DWORD>(-1), const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size())))
        return std::string();
    DWORD code = 0, size = sizeof code;
    ::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr);
    if (status)
        *status = code;
    std::string answer;
    char chunk[16384];
    DWORD read = 0;
    while (::InternetReadFile(request.get(), chunk, sizeof chunk, &read) && read > 0)
        answer.append(chunk, read);
    return answer;
}

void FaultServer::Reset() const
{
    Call(L"POST", L"/__control/reset", "{}", nullptr);
}

bool FaultServer::Script(const std::string& json) const
{
    DWORD status = 0;
    Call(L"POST", L"/__control/script", json, &status);
    return status == 200;
}

Json FaultServer::Requests() const
{
    return ParseJson(Call(L"GET", L"/__control/requests", std::string(), nullptr));
}

bool FaultServer::WaitForRequests(int count, const std::string& path, int timeoutMs) const
{
    DWORD status = 0;
    const std::string body = "{\"count\": " + std::to_string(count) + ", \"path\": " + JsonString(path) +
                             ", \"timeout_ms\": " + std::to_string(timeoutMs) + "}";
    Call(L"POST", L"/__control/wait_requests", body, &status);
    return status == 200;
}

void FaultServer::Release(const std::string& holdId) const
{
    Call(L"POST", L"/__control/release", "{\"id\": " + JsonString(holdId) + "}", nullptr);
}

int FaultServer::DropIdleConnections() const
{
    return static_cast<int>(
        ParseJson(Call(L"POST", L"/__control/drop_connections", "{}", nullptr))["dropped"].number);
}

std::string FaultServer::Sha256Of(const std::string& file) const
{
    const Json digest = ParseJson(
        Call(L"POST", L"/__control/body_digest", "{\"body_file\": " + JsonString(file) + "}", nullptr));
    const std::wstring& hex = digest["sha256"].string;
    return std::string(hex.begin(), hex.end());
}

const Json* FindHeader(const Json& request, const std::string& name)
{
    const Json& headers = request["headers"];
    for (const Json& header : headers.array)
    {
        const std::wstring& key = header[0].string;
        if (key.size() == name.size() &&
            _wcsnicmp(key.c_str(), std::wstring(name.begin(), name.end()).c_str(), name.size()) == 0)
            return &header[1];
    }
    return nullptr;
}

std::wstring HeaderValue(const Json& request, const std::string& name)
{
    const Json* header = FindHeader(request, name);
    return header ? header->string : std::wstring();
}

std::wstring ServedFilesFolder()
{
    const char* runtime = std::getenv("RUNTIME_DIR");
    return WinePath(runtime ? runtime : "/nonexistent") + L"\\files";
}

void WriteNetSetting(const std::wstring& folder, const std::string& ip, int port, int ssl)
{
    WriteBytes(folder + L"\\netsetting.xml",
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<NetSetting>\r\n  <Dispatch ip=\"" + ip +
                   "\" default_port=\"" + std::to_string(port) + "\" ssl=\"" + std::to_string(ssl) +
                   "\"/>\r\n</NetSetting>\r\n");
}

} // namespace harness
