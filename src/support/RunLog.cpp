#include "support/RunLog.h"

#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "framework/ScopedHandle.h"
#include "support/CodePages.h"
#include "support/Files.h"

const wchar_t kRunLogName[] = L"QVXLiveUpdate.log";

namespace
{
// Lives until the process ends: a worker may still log while the main thread
// runs the global destructors, so nothing here is ever destroyed.
struct RunLogFile
{
    std::mutex lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool opened = false;
    bool rotates = false; // this run owns the log: it may rotate it
    std::wstring path;
};

RunLogFile& TheLog()
{
    static RunLogFile* log = new RunLogFile;
    return *log;
}

// The errors a user meets on real networks, in words support staff know.
const wchar_t* KnownErrorText(DWORD error)
{
    switch (error)
    {
        case ERROR_INTERNET_TIMEOUT:
            return L"the request timed out";
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return L"the server name could not be resolved";
        case ERROR_INTERNET_CANNOT_CONNECT:
            return L"cannot connect to the server (connection refused or unreachable)";
        case ERROR_INTERNET_CONNECTION_ABORTED:
            return L"the connection was aborted";
        case ERROR_INTERNET_CONNECTION_RESET:
            return L"the connection was reset";
        case ERROR_INTERNET_INVALID_URL:
            return L"the address is not valid";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return L"the address's scheme is not supported";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return L"TLS: the server's certificate has expired or is not yet valid";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return L"TLS: the server's certificate is for another host name";
        case ERROR_INTERNET_INVALID_CA:
            return L"TLS: the server's certificate is not from a trusted authority";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return L"TLS: the secure channel could not be established";
        case ERROR_INTERNET_SEC_CERT_ERRORS:
            return L"TLS: the server's certificate has errors";
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return L"TLS: the server's certificate has been revoked";
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return L"TLS: the server's certificate is not valid";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return L"the server's answer is not valid HTTP";
        case ERROR_INTERNET_OPERATION_CANCELLED:
            return L"the operation was cancelled";
        case ERROR_INTERNET_INVALID_OPERATION:
            return L"the answer was not usable";
        case WSAETIMEDOUT:
            return L"no data arrived within the time-out (stalled)";
        case WSAECONNRESET:
            return L"the connection was reset by the server";
        default:
            return nullptr;
    }
}

// A host name or address, then with `portRequired` a ":" and a port's digits
// (without, the port may be left out): nothing that a password could be.
bool IsHostAndPort(const std::wstring& entry, bool portRequired)
{
    const size_t colon = entry.rfind(L':');
    const std::wstring host = entry.substr(0, colon);
    if (host.empty() ||
        host.find_first_not_of(L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_[]:") !=
            std::wstring::npos)
        return false;
    if (colon == std::wstring::npos)
        return !portRequired;
    const std::wstring port = entry.substr(colon + 1);
    return !port.empty() && port.size() <= 5 && port.find_first_not_of(L"0123456789") == std::wstring::npos;
}

std::wstring SystemErrorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE source = nullptr;
    if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST)
    {
        source = ::GetModuleHandleW(L"wininet.dll");
        flags = (flags & ~FORMAT_MESSAGE_FROM_SYSTEM) | FORMAT_MESSAGE_FROM_HMODULE;
    }
    const DWORD length = ::FormatMessageW(flags, source, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                          reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return text;
}

// The log's length: through the open file, or else by its name; 0 when
// unknown.
uint64_t LogSize(const RunLogFile& log)
{
    LARGE_INTEGER size{};
    if (log.file != INVALID_HANDLE_VALUE)
        return ::GetFileSizeEx(log.file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    return FileLength(log.path);
}

// With the lock held: a log over kRunLogRotateBytes becomes ".old" (one
// kept), and a new one is begun. Another run may go on writing into the old
// one: appends only, and it was opened to allow this.
void RotateIfLarge(RunLogFile& log)
{
    if (LogSize(log) <= kRunLogRotateBytes)
        return;
    if (log.file != INVALID_HANDLE_VALUE)
        ::CloseHandle(log.file);
    log.file = INVALID_HANDLE_VALUE;
    ::MoveFileExW(log.path.c_str(), (log.path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
}

void OpenLogFile(RunLogFile& log)
{
    // Appends only, so that lines of two runs never overwrite each other.
    log.file = ::CreateFileW(log.path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
}
} // namespace

void OpenRunLog(const std::wstring& folder, bool rotate)
{
    RunLogFile& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    if (log.opened || folder.empty())
        return;
    log.opened = true;
    log.rotates = rotate;
    log.path = folder + kRunLogName;
    if (rotate)
        RotateIfLarge(log);
    OpenLogFile(log);
}

void LogEvent(const std::wstring& text)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string line = EncodeText(FormatLogLine(now, ::GetCurrentThreadId(), text) + L"\r\n", CP_UTF8);
    RunLogFile& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    if (log.file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(log.file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    // A run that goes on and on must not fill the temporary folder.
    if (!log.rotates)
        return;
    RotateIfLarge(log);
    if (log.file == INVALID_HANDLE_VALUE)
        OpenLogFile(log);
}

std::wstring FormatLogLine(const SYSTEMTIME& time, DWORD threadId, const std::wstring& text)
{
    wchar_t stamp[48] = {};
    swprintf(stamp, 48, L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", time.wYear, time.wMonth, time.wDay,
             time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
             static_cast<unsigned long>(threadId));
    std::wstring line = stamp + text;
    for (wchar_t& c : line)
        if (c == L'\r' || c == L'\n')
            c = L' ';
    return line;
}

std::wstring ProxyForLog(const std::wstring& proxy)
{
    const bool credentials = proxy.find(L'@') != std::wstring::npos;
    std::wstring result;
    size_t start = 0;
    while (start < proxy.size())
    {
        size_t end = proxy.find_first_of(L"; \t\r\n", start);
        if (end == std::wstring::npos)
            end = proxy.size();
        std::wstring entry = proxy.substr(start, end - start);
        start = end + 1;
        const size_t at = entry.rfind(L'@');
        if (credentials && at == std::wstring::npos)
            continue;
        if (at != std::wstring::npos)
            entry.erase(0, at + 1);
        else
        {
            // "http=" and "http://" before the host.
            const size_t equals = entry.find(L'=');
            if (equals != std::wstring::npos)
                entry.erase(0, equals + 1);
            const size_t scheme = entry.find(L"://");
            if (scheme != std::wstring::npos)
                entry.erase(0, scheme + 3);
        }
        entry = entry.substr(0, entry.find(L'/'));
        if (IsHostAndPort(entry, credentials))
            result += (result.empty() ? L"" : L";") + entry;
    }
    return result;
}

std::wstring DescribeError(DWORD error)
{
    std::wstring text;
    if (const wchar_t* known = KnownErrorText(error))
        text = known;
    else
        text = SystemErrorText(error);
    if (text.empty())
        text = L"unknown error";
    return std::to_wstring(error) + L" (" + text + L")";
}

std::wstring Elapsed(ULONGLONG since)
{
    return std::to_wstring(::GetTickCount64() - since) + L" ms";
}
