#include "update/UpdateRecord.h"

#include <windows.h>

#include "update/LiveUpdateIni.h"

namespace
{
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f';
}

std::wstring Trimmed(const std::wstring& text, size_t begin, size_t end)
{
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && _wcsnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

struct Line
{
    size_t begin; // first character
    size_t end;   // end of the text, before the line break
    size_t next;  // start of the next line
};

Line LineAt(const std::wstring& text, size_t pos)
{
    size_t end = pos;
    while (end < text.size() && text[end] != L'\r' && text[end] != L'\n')
        ++end;
    size_t next = end;
    if (next < text.size() && text[next] == L'\r')
        ++next;
    if (next < text.size() && text[next] == L'\n')
        ++next;
    return Line{pos, end, next};
}

// The section name of a line "[name]", or false.
bool SectionName(const std::wstring& text, const Line& line, std::wstring& name)
{
    const std::wstring trimmed = Trimmed(text, line.begin, line.end);
    const size_t close = trimmed.rfind(L']');
    if (trimmed.empty() || trimmed[0] != L'[' || close == std::wstring::npos || close == 0)
        return false;
    name = trimmed.substr(1, close - 1);
    return true;
}
} // namespace

bool RecordFitsItsReaders(const UpdateRecord& record)
{
    return record.name.size() <= kMaxRecordNameLength && record.version.size() <= kMaxRecordNameLength &&
           record.url.size() <= kMaxRecordUrlLength;
}

void SetProfileValue(std::wstring& text, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value)
{
    const std::wstring entry = key + L"=" + value;
    bool inSection = false;
    size_t insertAt = std::wstring::npos; // after the section's last non-blank line

    for (size_t pos = 0; pos < text.size();)
    {
        const Line line = LineAt(text, pos);
        pos = line.next;
        std::wstring name;
        if (SectionName(text, line, name))
        {
            if (inSection)
                break; // only the first section of that name counts
            inSection = SameName(name, section);
            if (inSection)
                insertAt = line.next;
            continue;
        }
        if (!inSection || Trimmed(text, line.begin, line.end).empty())
            continue;
        insertAt = line.next;
        const size_t equals = text.find(L'=', line.begin);
        const size_t nameEnd = equals < line.end ? equals : line.end;
        if (SameName(Trimmed(text, line.begin, nameEnd), key))
        {
            text.replace(line.begin, line.end - line.begin, entry);
            return;
        }
    }

    if (insertAt != std::wstring::npos)
    {
        // The section's last line may lack its line break at the end of text.
        std::wstring inserted = entry + L"\r\n";
        if (insertAt == text.size() && !text.empty() && text.back() != L'\n' && text.back() != L'\r')
            inserted = L"\r\n" + inserted;
        text.insert(insertAt, inserted);
        return;
    }
    if (!text.empty() && text.back() != L'\n' && text.back() != L'\r')
        text += L"\r\n";
    text += L"[" + section + L"]\r\n" + entry + L"\r\n";
}

bool WriteUpdateRecord(const wchar_t* path, const UpdateRecord& record)
{
    std::wstring text = DecodeIniText(ReadIniBytes(path));
    SetProfileValue(text, L"Update", L"newversionname", record.name);
    SetProfileValue(text, L"Update", L"newversion", record.version);
    SetProfileValue(text, L"Update", L"downloadurl", record.url);
    SetProfileValue(text, L"Update", L"desc", record.desc);
    return SaveIniTextAsUtf8(path, text);
}
