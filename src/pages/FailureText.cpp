#include "pages/FailureText.h"

#include <cstdio>

#include "support/Files.h"
#include "support/WideText.h"

namespace
{
// What Windows reports for a file its malware protection blocks or removed
// (winerror.h; MinGW's headers lack them).
constexpr DWORD kVirusInfected = 225; // ERROR_VIRUS_INFECTED
constexpr DWORD kVirusDeleted = 226;  // ERROR_VIRUS_DELETED
} // namespace

const wchar_t kPackageBlockedText[] = L"安装包被安全软件拦截，无法运行。请将其加入信任后重新执行更新程序！";
const wchar_t kElevationDeclinedText[] = L"您取消了安装程序所需的管理员授权，本次没有安装新版本。";

std::wstring FormatBoxTime(const SYSTEMTIME& time)
{
    wchar_t text[32] = {};
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute);
    return text;
}

std::wstring ClockWrongText(const SYSTEMTIME& local, const SYSTEMTIME& server)
{
    return L"您的电脑时间不正确（本机：" + FormatBoxTime(local) + L"，服务器：" + FormatBoxTime(server) +
           L"），请校正系统时间后重新执行更新程序！";
}

std::wstring ClockWrongTextNow(int64_t secondsAhead)
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER server{};
    server.LowPart = now.dwLowDateTime;
    server.HighPart = now.dwHighDateTime;
    server.QuadPart -= static_cast<ULONGLONG>(secondsAhead * 10000000);
    const FILETIME serverTime{server.LowPart, server.HighPart};
    SYSTEMTIME utc{}, local{}, serverLocal{};
    ::FileTimeToSystemTime(&now, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    ::FileTimeToSystemTime(&serverTime, &utc);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &serverLocal);
    return ClockWrongText(local, serverLocal);
}

bool IsBlockedBySecurity(DWORD error)
{
    switch (error)
    {
        case kVirusInfected:
        case kVirusDeleted:
        case ERROR_ACCESS_DENIED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return true;
        default:
            return IsHeldFileError(error);
    }
}

std::wstring StartFailureText(DWORD error, const std::wstring& systemText)
{
    if (error == ERROR_CANCELLED)
        return kElevationDeclinedText;
    if (IsBlockedBySecurity(error))
        return kPackageBlockedText;
    return L"安装程序无法启动（错误 " + std::to_wstring(error) + L"：" + systemText +
           L"），请重新执行更新程序！";
}

std::wstring SystemErrorWords(DWORD error, const std::wstring& name)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer)
        ::LocalFree(buffer);
    ReplaceAll(text, L"%1", name);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.' || text.back() == L'。'))
        text.pop_back();
    return text.empty() ? L"未知错误" : text;
}
