#include "support/Files.h"

#include <algorithm>

#include "framework/ScopedHandle.h"
#include "support/WideText.h"

std::optional<std::string> ReadFileHead(const wchar_t* path, size_t limit)
{
    // Others may go on reading, writing or deleting it meanwhile.
    FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string bytes;
    char chunk[64 * 1024];
    while (bytes.size() < limit)
    {
        const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, limit - bytes.size()));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, want, &got, nullptr) || got == 0)
            break;
        bytes.append(chunk, got);
    }
    return bytes;
}

std::optional<std::string> ReadWholeFile(const wchar_t* path, size_t limit)
{
    // One byte past the limit tells a file that is too large.
    std::optional<std::string> bytes = ReadFileHead(path, limit + 1);
    if (bytes && bytes->size() > limit)
        return std::nullopt;
    return bytes;
}

std::optional<FileFacts> ReadFileFacts(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        return std::nullopt;
    FileFacts facts;
    facts.length = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    facts.lastWritten = static_cast<ULONGLONG>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                        info.ftLastWriteTime.dwLowDateTime;
    return facts;
}

uint64_t FileLength(const std::wstring& path)
{
    const std::optional<FileFacts> facts = ReadFileFacts(path);
    return facts ? facts->length : 0;
}

std::optional<uint64_t> FreeSpaceBeside(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring(L".\\") : path.substr(0, slash + 1);
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

std::wstring TemporaryFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return TextOfBuffer(folder, MAX_PATH);
}

bool IsHeldFileError(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

DWORD RetryWhileHeld(const std::function<DWORD()>& attempt,
                     const std::function<bool(int failed, DWORD error, DWORD waitMs)>& pause)
{
    const ULONGLONG start = ::GetTickCount64();
    for (int number = 1;; ++number)
    {
        const DWORD error = attempt();
        if (!IsHeldFileError(error) ||
            ::GetTickCount64() - start + kHeldFileRetryMs > kHeldFileRetryLimitMs ||
            !pause(number, error, kHeldFileRetryMs))
            return error;
    }
}
