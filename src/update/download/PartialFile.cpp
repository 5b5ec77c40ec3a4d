#include "update/download/PartialFile.h"

#include <vector>

namespace
{
bool SeekTo(HANDLE file, uint64_t position, DWORD from = FILE_BEGIN)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(file, distance, nullptr, from) != FALSE;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh &&
           a.nFileSizeLow == b.nFileSizeLow &&
           a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime &&
           a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}
} // namespace

bool PartialFile::Open(uint64_t keep)
{
    if (m_file)
        return true;
    // Others may read it, and a confirmed Cancel may remove it while this
    // handle is open (it goes when the process does); nobody else writes it.
    m_file.Reset(::CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               keep > 0 ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file)
        return false;
    if (SeekTo(m_file.Get(), keep) && ::SetEndOfFile(m_file.Get()))
        return true;
    m_file.Reset();
    return false;
}

bool PartialFile::Truncate()
{
    return m_file && SeekTo(m_file.Get(), 0) && ::SetEndOfFile(m_file.Get());
}

bool PartialFile::Write(const char* data, DWORD size)
{
    while (size > 0)
    {
        DWORD written = 0;
        if (!::WriteFile(m_file.Get(), data, size, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool PartialFile::ReadBack(uint64_t length, const std::function<void(const char*, DWORD)>& sink)
{
    if (!m_file || !SeekTo(m_file.Get(), 0))
        return false;
    std::vector<char> buffer(64 * 1024);
    for (uint64_t left = length; left > 0;)
    {
        const DWORD want = static_cast<DWORD>(left < buffer.size() ? left : buffer.size());
        DWORD read = 0;
        if (!::ReadFile(m_file.Get(), buffer.data(), want, &read, nullptr) || read == 0)
            return false;
        sink(buffer.data(), read);
        left -= read;
    }
    return SeekTo(m_file.Get(), 0, FILE_END);
}

bool PartialFile::RenameAndHold(const std::wstring& finalPath, FileHandle& held)
{
    if (!m_renamed)
    {
        if (!m_file)
            return false;
        std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + finalPath.size() * sizeof(wchar_t));
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(finalPath.size() * sizeof(wchar_t));
        finalPath.copy(rename->FileName, finalPath.size());
        if (!::SetFileInformationByHandle(m_file.Get(), FileRenameInfo, rename,
                                          static_cast<DWORD>(buffer.size())))
        {
            // The file stays open for another attempt.
            const DWORD error = ::GetLastError();
            const bool targetHeld = error == ERROR_ACCESS_DENIED &&
                                    ::GetFileAttributesW(finalPath.c_str()) != INVALID_FILE_ATTRIBUTES;
            ::SetLastError(targetHeld ? ERROR_SHARING_VIOLATION : error);
            return false;
        }
        m_renamed = true;
        m_path = finalPath;
        if (!::GetFileInformationByHandle(m_file.Get(), &m_named))
        {
            const DWORD error = ::GetLastError();
            m_file.Reset();
            ::SetLastError(error);
            return false;
        }
        // No second handle can deny writing while this one writes, and a
        // program cannot be started while a handle may write it: the file
        // is let go for the moment of reopening, and must come back
        // unchanged.
        m_file.Reset();
    }
    held.Reset(::CreateFileW(finalPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held)
        return false;
    BY_HANDLE_FILE_INFORMATION after{};
    if (!::GetFileInformationByHandle(held.Get(), &after) || !SameFile(m_named, after))
    {
        held.Reset();
        ::SetLastError(ERROR_FILE_INVALID);
        return false;
    }
    return true;
}
