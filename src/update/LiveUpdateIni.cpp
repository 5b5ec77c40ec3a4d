#include "update/LiveUpdateIni.h"

#include <shlobj.h>
#include <algorithm>
#include <cwchar>
#include <vector>

#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/StringHelpers.h"
#include "update/IniText.h"

bool g_bIniIsUtf8 = false;

namespace
{
const wchar_t kIniSuffix[] = L"\\Qoravel\\LiveUpdate.ini";
// Copies `value` into the caller's buffer, cut to capacity - 1 units as the
// platform's profile reader cuts, but never between the halves of a
// surrogate pair.
int StoreInBuffer(const std::wstring& value, wchar_t* buffer, int capacity)
{
    if (capacity <= 0)
        return 0;
    size_t count = value.size();
    if (count > static_cast<size_t>(capacity - 1))
    {
        count = static_cast<size_t>(capacity - 1);
        if (count > 0 && IS_HIGH_SURROGATE(value[count - 1]))
            --count;
    }
    value.copy(buffer, count);
    buffer[count] = L'\0';
    return static_cast<int>(count);
}
} // namespace

bool GetLiveUpdateIniPath(wchar_t* pszPath)
{
    wchar_t folder[kIniPathCapacity] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE))
        return false;
    const size_t folderLength = wcsnlen(folder, kIniPathCapacity);
    const size_t suffixLength = wcslen(kIniSuffix);
    if (folderLength + suffixLength >= kIniPathCapacity)
        return false;
    wmemcpy(pszPath, folder, folderLength);
    wmemcpy(pszPath + folderLength, kIniSuffix, suffixLength + 1);
    return true;
}

std::wstring LiveUpdateIniPath()
{
    wchar_t path[kIniPathCapacity] = {};
    GetLiveUpdateIniPath(path);
    return TextOfBuffer(path, kIniPathCapacity);
}

std::string ReadIniBytes(const wchar_t* path)
{
    // Far more than any settings file this program meets; a bound so that a
    // stray huge file cannot exhaust memory.
    const size_t limit = 1024 * 1024;
    return ReadFileHead(path, limit).value_or(std::string());
}

void ProbeIniEncoding()
{
    wchar_t path[kIniPathCapacity] = {};
    if (!GetLiveUpdateIniPath(path))
        return;
    std::optional<std::string> head = ReadFileHead(path, kIniProbeBytes);
    if (!head)
    {
        g_bIniIsUtf8 = false;
        return;
    }
    // The whole zero-filled block is tested, so a short ASCII file counts as
    // UTF-8.
    head->resize(kIniProbeBytes, '\0');
    g_bIniIsUtf8 = IsUtf8Text(reinterpret_cast<const unsigned char*>(head->data()), head->size());
}

int ReadUpdateSetting(const wchar_t* section, const wchar_t* key, wchar_t* buffer, int capacity)
{
    wchar_t path[kIniPathCapacity] = {};
    if (!GetLiveUpdateIniPath(path))
        return 0;
    if (!g_bIniIsUtf8)
        return static_cast<int>(::GetPrivateProfileStringW(section, key, L"", buffer, capacity, path));

    // The platform's narrow profile reader passes the text through the ANSI
    // code page, which destroys UTF-8 that is not also valid there (on a
    // Chinese system most of it). Read the file's own bytes instead.
    std::string value;
    if (!FindIniValue(ReadIniBytes(path), EncodeText(section, CP_UTF8), EncodeText(key, CP_UTF8), value))
        value.clear();
    return StoreInBuffer(DecodeText(value, CP_UTF8), buffer, capacity);
}

void ReadUpdateRecord(std::wstring& name, std::wstring& version, std::wstring& url)
{
    ProbeIniEncoding();
    wchar_t nameBuffer[256] = {};
    wchar_t versionBuffer[256] = {};
    wchar_t urlBuffer[1024] = {};
    ReadUpdateSetting(L"Update", L"newversionname", nameBuffer, 256);
    ReadUpdateSetting(L"Update", L"newversion", versionBuffer, 256);
    ReadUpdateSetting(L"Update", L"downloadurl", urlBuffer, 1024);
    name = TextOfBuffer(nameBuffer, 256);
    version = TextOfBuffer(versionBuffer, 256);
    url = TextOfBuffer(urlBuffer, 1024);
}

std::wstring DecodeIniText(const std::string& bytes)
{
    const std::string text = bytes.substr(0, strnlen(bytes.data(), bytes.size()));
    const bool utf8 = IsUtf8Text(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return DecodeText(text, utf8 ? CP_UTF8 : CP_ACP);
}

bool SaveIniTextAsUtf8(const wchar_t* path, const std::wstring& text)
{
    std::string utf8 = EncodeText(text, CP_UTF8);
    if (utf8.size() < kIniFileBlockBytes)
        utf8.resize(kIniFileBlockBytes, '\0');

    // Written beside the file and moved over it, so that a reader never
    // meets half a record, whatever happens meanwhile.
    const std::wstring temporary = std::wstring(path) + L".new";
    {
        FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        DWORD written = 0;
        if (!::WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ||
            written != utf8.size() || !::FlushFileBuffers(file.Get()))
        {
            file.Reset();
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void ConvertIniToUtf8(const wchar_t* path)
{
    // Only a file that exists is converted: the folder is the client's.
    if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return;
    std::string ansi = ReadIniBytes(path);
    ansi.resize(strnlen(ansi.data(), ansi.size()));
    SaveIniTextAsUtf8(path, DecodeText(ansi, CP_ACP));
}
