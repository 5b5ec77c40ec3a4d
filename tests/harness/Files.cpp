#include "harness/Files.h"

#include <gtest/gtest.h>

#include "framework/ScopedHandle.h"

namespace harness
{
std::wstring Wide(const std::string& utf8)
{
    const int size = static_cast<int>(utf8.size());
    std::wstring text(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
                      L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], static_cast<int>(text.size()));
    return text;
}

std::string Utf8(const std::wstring& text)
{
    const int size = static_cast<int>(text.size());
    std::string bytes(static_cast<size_t>(
                          ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
                      '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &bytes[0], static_cast<int>(bytes.size()), nullptr,
                          nullptr);
    return bytes;
}

std::wstring WinePath(const std::string& linuxPath)
{
    std::wstring path = L"Z:" + Wide(linuxPath);
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        return -1;
    return static_cast<long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}

std::string ReadBytes(const std::wstring& path, unsigned long long offset)
{
    std::string bytes;
    // Others may go on writing and deleting it meanwhile.
    const FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    char chunk[16384];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return offset < bytes.size() ? bytes.substr(static_cast<size_t>(offset)) : std::string();
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    const FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file &&
                ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        << "cannot write " << Utf8(path);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1)
    {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == '\r' ? 1 : 0)));
    }
    return lines;
}

void ListFolder(const std::wstring& folder, std::vector<std::wstring>& files,
                std::vector<std::wstring>& folders)
{
    WIN32_FIND_DATAW found{};
    const FindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &found))
    {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(name);
        else if (name != L"." && name != L"..")
            folders.push_back(name);
    }
}

void EmptyFolder(const std::wstring& folder)
{
    std::vector<std::wstring> files, folders;
    ListFolder(folder, files, folders);
    for (const std::wstring& name : files)
        ::DeleteFileW((folder + L"\\" + name).c_str());
    for (const std::wstring& name : folders)
    {
        EmptyFolder(folder + L"\\" + name);
        ::RemoveDirectoryW((folder + L"\\" + name).c_str());
    }
}

TempDir::TempDir(const std::wstring& prefix)
{
    static int made = 0;
    m_path = TempFolder() + prefix + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(++made) + L"\\";
    ::CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir()
{
    EmptyFolder(m_path.substr(0, m_path.size() - 1));
    ::RemoveDirectoryW(m_path.c_str());
}
} // namespace harness
