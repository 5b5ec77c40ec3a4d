// Stands in for a downloaded installation package. It is run without
// arguments, so it takes its settings from the environment:
//   QVX_FAKE_INSTALLER_MARKER      file to which one line is appended per run
//                                  (default: %TEMP%\fake_installer_marker.txt)
//   QVX_FAKE_INSTALLER_USERCANCEL  value written as [setuplog] UserCancel
//                                  (default: "no")
//   QVX_FAKE_INSTALLER_WAIT_FILE   when set, the run does not end before this
//                                  file exists
//   QVX_FAKE_INSTALLER_REPORT      when set, file to which one line is appended
//                                  as the run ends (see below)
//   QVX_FAKE_INSTALLER_EXIT_CODE   the run's exit code (default 0)
// The line reads "started stale-result=<0|1> cmdline=<command line>", in
// UTF-8: whether the result file was already there when the run began, and
// how the program was started.
// The report line reads "ended size=<bytes> sha256=<hex> parent=<pid>
// parent-alive=<0|1>": what was run, byte for byte, and whether the program
// that started it was still there to see it end.

#include <windows.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <cstdio>
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

// SHA-256 of the file in lower-case hex, and its size; empty when unreadable.
std::wstring FileDigest(const std::wstring& path, unsigned long long& size)
{
    size = 0;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    HCRYPTPROV provider = 0;
    if (!file || !::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return std::wstring();
    HCRYPTHASH hash = 0;
    std::wstring hex;
    if (::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash))
    {
        std::vector<BYTE> chunk(64 * 1024);
        DWORD read = 0;
        bool ok = true;
        while (ok && ::ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
               read > 0)
        {
            ok = ::CryptHashData(hash, chunk.data(), read, 0) != FALSE;
            size += read;
        }
        BYTE digest[32] = {};
        DWORD length = sizeof digest;
        if (ok && ::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0))
        {
            for (DWORD i = 0; i < length; ++i)
            {
                wchar_t pair[3] = {};
                std::swprintf(pair, 3, L"%02x", digest[i]);
                hex += pair;
            }
        }
        ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
    return hex;
}

DWORD ParentProcessId()
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == self)
            return entry.th32ParentProcessID;
    return 0;
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

    // Opened now, so that the answer at the end is about this parent even if
    // its id is given to another process meanwhile.
    const DWORD parentId = ParentProcessId();
    KernelHandle parent(parentId ? ::OpenProcess(SYNCHRONIZE, FALSE, parentId) : nullptr);

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

    std::wstring report;
    if (ReadEnvironment(L"QVX_FAKE_INSTALLER_REPORT", report) && !report.empty())
    {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        unsigned long long size = 0;
        const std::wstring digest = FileDigest(self, size);
        const bool parentAlive = parent && ::WaitForSingleObject(parent.Get(), 0) == WAIT_TIMEOUT;
        AppendLine(report, L"ended size=" + std::to_wstring(size) + L" sha256=" + digest + L" parent=" +
                               std::to_wstring(parentId) + L" parent-alive=" + (parentAlive ? L"1" : L"0"));
    }
    std::wstring exitCode;
    return ReadEnvironment(L"QVX_FAKE_INSTALLER_EXIT_CODE", exitCode) ? _wtoi(exitCode.c_str()) : 0;
}
