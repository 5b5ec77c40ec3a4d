// The files a chaos trial prepares and reads back, and the text of them.
#include "TrialFiles.h"

#include "Fixture.h"

namespace chaos
{
std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3, '\0');
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return bytes;
}

std::wstring SettingsFolder()
{
    const std::wstring ini = e2e::IniPath();
    return ini.substr(0, ini.find_last_of(L'\\'));
}

// The names in a folder: its files, and its folders.
void ListFolder(const std::wstring& folder, std::vector<std::wstring>& files,
                std::vector<std::wstring>& folders)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(name);
        else if (name != L"." && name != L"..")
            folders.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// Every file of a folder: name, bytes.
std::map<std::string, std::string> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> files, folders;
    ListFolder(folder, files, folders);
    std::map<std::string, std::string> result;
    for (const std::wstring& name : files)
        result[Utf8(name)] = e2e::ReadTextFile(folder + L"\\" + name);
    return result;
}

// Empties a folder, its folders included.
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

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1)
    {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Bytes of a file from `offset` to its end.
std::string ReadFrom(const std::wstring& path, unsigned long long offset)
{
    const std::string whole = e2e::ReadTextFile(path);
    return offset < whole.size() ? whole.substr(static_cast<size_t>(offset)) : std::string();
}

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        return 0;
    return static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}
} // namespace chaos
