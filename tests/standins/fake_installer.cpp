// Stands in for a downloaded installation package. It is run without
// arguments, so it takes its settings from the environment:
//   QVX_FAKE_INSTALLER_MARKER      file to which one line is appended per run
//                                  (default: %TEMP%\fake_installer_marker.txt)
//   QVX_FAKE_INSTALLER_USERCANCEL  value written as [setuplog] UserCancel
//                                  (default: "no")
//   QVX_FAKE_INSTALLER_WAIT_FILE   when set, the run does not end before this
//                                  file exists
// The line reads "started stale-result=<0|1> cmdline=<command line>", in
// UTF-8: whether the result file was already there when the run began, and
// how the program was started.

#include <windows.h>
#include <string>
#include <vector>

#include "framework/ScopedHandle.h"

namespace
{
bool ReadEnvironment(const wchar_t* name, std::wstring& value)
{
    const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
    {
        // Set but empty counts as set.
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        value.clear();
        return true;
    }
    std::vector<wchar_t> buffer(needed, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), needed);
    value.assign(buffer.data(), length < needed ? length : 0);
    return true;
}

std::wstring TempFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string result(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], bytes, nullptr, nullptr);
    return result;
}

void AppendLine(const std::wstring& path, const std::wstring& line)
{
    FileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    const std::string bytes = ToUtf8(line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::wstring temp = TempFolder();
    const std::wstring resultPath = temp + L"QVXLivaUpdate.ini";

    std::wstring marker;
    if (!ReadEnvironment(L"QVX_FAKE_INSTALLER_MARKER", marker) || marker.empty())
        marker = temp + L"fake_installer_marker.txt";
    std::wstring userCancel;
    if (!ReadEnvironment(L"QVX_FAKE_INSTALLER_USERCANCEL", userCancel))
        userCancel = L"no";

    const bool stale = FileExists(resultPath);
    AppendLine(marker, std::wstring(L"started stale-result=") + (stale ? L"1" : L"0") + L" cmdline=" +
                           ::GetCommandLineW());

    std::wstring waitFile;
    if (ReadEnvironment(L"QVX_FAKE_INSTALLER_WAIT_FILE", waitFile) && !waitFile.empty())
    {
        // Polling keeps the stand-in simple; it only has to outlast the
        // test's checks.
        while (!FileExists(waitFile))
            ::Sleep(20);
    }

    ::WritePrivateProfileStringW(L"setuplog", L"UserCancel", userCancel.c_str(), resultPath.c_str());
    return 0;
}
