#include "update/record/LiveUpdateIni.h"

#include <shlobj.h>
#include <cwchar>

#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/CodePages.h"
#include "support/WideText.h"
#include "update/record/IniText.h"

bool g_bIniIsUtf8 = false;

namespace
{
const wchar_t kIniSuffix[] = L"\\Qoravel\\LiveUpdate.ini";
// Copies `value` into the caller's buffer as the profile reader would.
// Returns the units written, the terminating zero included, as a decoding of
// the value with its zero reports them.
int StoreInBuffer(const std::wstring& value, wchar_t* buffer, int capacity)
{
    if (capacity <= 0)
        return 0;
    const std::wstring cut = CutToCapacity(value, static_cast<size_t>(capacity));
    cut.copy(buffer, cut.size());
    buffer[cut.size()] = L'\0';
    return static_cast<int>(cut.size() + 1);
}
} // namespace

std::wstring CutToCapacity(std::wstring_view value, size_t capacity)
{
    if (capacity == 0)
        return std::wstring();
    size_t count = value.size();
    if (count > capacity - 1)
    {
        count = capacity - 1;
        if (count > 0 && IS_HIGH_SURROGATE(value[count - 1]))
            --count;
    }
    return std::wstring(value.substr(0, count));
}

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
    return ReadFileHead(path, kMaxIniFileBytes).value_or(std::string());
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
    // Chinese system most of it). Read the file's own text instead, by the
    // same rules.
    std::wstring value;
    if (!FindIniValue(DecodeIniText(ReadIniBytes(path)), section, key, value))
        value.clear();
    return StoreInBuffer(value, buffer, capacity);
}

std::wstring DecodeIniText(const std::string& bytes)
{
    std::wstring text;
    const bool littleEndian = bytes.compare(0, 2, "\xFF\xFE") == 0;
    if (littleEndian || bytes.compare(0, 2, "\xFE\xFF") == 0)
    {
        // An odd last byte is a unit of its own, its missing byte zero.
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i < bytes.size(); i += 2)
        {
            const unsigned char first = static_cast<unsigned char>(bytes[i]);
            const unsigned char second = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            text.push_back(static_cast<wchar_t>(littleEndian ? first | second << 8 : second | first << 8));
        }
    }
    else
    {
        // The platform's reader takes a UTF-8 byte-order mark as UTF-8; this
        // program's readers take what passes the probe's test as UTF-8.
        std::string head = bytes.substr(0, kIniProbeBytes);
        head.resize(kIniProbeBytes, '\0');
        const bool marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
        const bool utf8 =
            marked || IsUtf8Text(reinterpret_cast<const unsigned char*>(head.data()), head.size());
        const size_t skip = marked ? 3 : 0;
        text = DecodeText(bytes.substr(skip), utf8 ? CP_UTF8 : CP_ACP);
    }
    return text;
}

bool SaveIniTextAsUtf8(const wchar_t* path, const std::wstring& text)
{
    // A U+FEFF that starts the text would become a byte-order mark, which
    // the readers skip: the line it starts would read otherwise. A line break
    // before it keeps it a character of its line.
    std::string utf8 = EncodeText(!text.empty() && text[0] == 0xFEFF ? L"\r\n" + text : text, CP_UTF8);
    if (utf8.size() > kMaxIniFileBytes)
        return false;
    if (utf8.size() < kIniFileBlockBytes)
        utf8.resize(kIniFileBlockBytes, '\0');

    // In place: a file replaced by another (a move) fails while any program
    // holds it open without delete sharing, and a temporary file beside it
    // would outlive a process killed in between.
    FileHandle file(::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
           written == utf8.size() && ::SetEndOfFile(file.Get());
}
