#include "update/record/UpdateRecord.h"

#include <windows.h>

#include "support/Files.h"
#include "support/CodePages.h"
#include "update/record/IniText.h"
#include "update/record/LiveUpdateIni.h"

namespace
{
const wchar_t* const kRecordKeys[] = {L"newversionname", L"newversion", L"downloadurl", L"size",
                                      L"sha256",         L"signature",  L"desc",        L"mirror1",
                                      L"mirror2",        L"mirror3",    L"mirror4"};
static_assert(kMaxRecordMirrors == 4, "a key for every mirror");

std::wstring MirrorKey(size_t index)
{
    return L"mirror" + std::to_wstring(index + 1);
}

bool IsRecordKey(std::wstring_view name)
{
    for (const wchar_t* key : kRecordKeys)
    {
        if (SameIniName(name, key))
            return true;
    }
    return false;
}

// No zero and no half of a surrogate pair (UTF-8 cannot carry one); with
// `oneLine`, no line break either.
bool IsStorableText(const std::wstring& text, bool oneLine)
{
    for (size_t i = 0; i < text.size(); ++i)
    {
        const wchar_t c = text[i];
        if (c == L'\0' || (oneLine && (c == L'\r' || c == L'\n')))
            return false;
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]))
            ++i;
        else if (IS_HIGH_SURROGATE(c) || IS_LOW_SURROGATE(c))
            return false;
    }
    return true;
}

void EndWithLineBreak(std::wstring& text)
{
    if (!text.empty() && text.back() != L'\n' && text.back() != L'\r')
        text += L"\r\n";
}

// "key=value" as a line the profile reader gives back unchanged: a value it
// would trim, or whose enclosing quotes it would drop, goes in quotes of its
// own.
void AppendEntry(std::wstring& text, const wchar_t* key, const std::wstring& value)
{
    const bool quoted =
        !value.empty() &&
        (IsIniBlank(value.front()) || IsIniBlank(value.back()) ||
         (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]));
    text += key;
    text += quoted ? L"=\"" + value + L"\"\r\n" : L"=" + value + L"\r\n";
}
} // namespace

bool RecordFitsItsReaders(const UpdateRecord& record)
{
    for (const std::wstring* value :
         {&record.name, &record.version, &record.url, &record.size, &record.sha256, &record.signature})
    {
        if (!IsStorableText(*value, true))
            return false;
    }
    if (record.mirrors.size() > kMaxRecordMirrors)
        return false;
    for (const std::wstring& mirror : record.mirrors)
    {
        if (!IsStorableText(mirror, true) || mirror.size() > kMaxRecordUrlLength)
            return false;
    }
    return record.name.size() <= kMaxRecordNameLength && record.version.size() <= kMaxRecordNameLength &&
           record.url.size() <= kMaxRecordUrlLength && IsStorableText(record.desc, false) &&
           EncodeText(record.desc, CP_UTF8).size() <= kMaxDescriptionBytes;
}

std::wstring PlaceUpdateRecord(const std::wstring& text, const UpdateRecord& record)
{
    std::wstring result;
    std::wstring updateLines;
    bool inUpdate = false;
    for (size_t pos = 0; pos < text.size();)
    {
        const IniLine line = ReadIniLine(text, pos);
        const std::wstring_view whole(text.data() + line.begin, line.next - line.begin);
        pos = line.next;
        // The zeros that padded the file's block: no reader finds anything
        // in them, and kept they would pile up with every rewrite.
        if (whole.find_first_not_of(std::wstring_view(L"\0\r\n", 3)) == std::wstring_view::npos)
            continue;
        if (line.kind == IniLine::Section)
        {
            inUpdate = SameIniName(line.name, L"Update");
            if (inUpdate)
                continue;
        }
        if (!inUpdate)
            result += whole;
        else if (line.kind != IniLine::Entry || !IsRecordKey(line.name))
            updateLines += whole;
    }
    EndWithLineBreak(result);
    EndWithLineBreak(updateLines);
    result += L"[Update]\r\n" + updateLines;
    AppendEntry(result, L"newversionname", record.name);
    AppendEntry(result, L"newversion", record.version);
    AppendEntry(result, L"downloadurl", record.url);
    for (size_t i = 0; i < record.mirrors.size(); ++i)
        AppendEntry(result, MirrorKey(i).c_str(), record.mirrors[i]);
    if (!record.size.empty())
        AppendEntry(result, L"size", record.size);
    if (!record.sha256.empty())
        AppendEntry(result, L"sha256", record.sha256);
    if (!record.signature.empty())
        AppendEntry(result, L"signature", record.signature);
    // Taken by the new-version page as everything after "desc=", unchanged.
    result += L"desc=" + record.desc + L"\r\n";
    return result;
}

UpdateRecord ParseUpdateRecord(std::wstring_view text)
{
    UpdateRecord record;
    std::wstring mirrors[kMaxRecordMirrors];
    struct Field
    {
        const wchar_t* key;
        std::wstring* value;
        size_t length;
        bool seen;
    } fields[] = {{L"newversionname", &record.name, kMaxRecordNameLength, false},
                  {L"newversion", &record.version, kMaxRecordNameLength, false},
                  {L"downloadurl", &record.url, kMaxRecordUrlLength, false},
                  {L"size", &record.size, kMaxRecordCheckLength, false},
                  {L"sha256", &record.sha256, kMaxRecordCheckLength, false},
                  {L"signature", &record.signature, kMaxRecordCheckLength, false},
                  {L"mirror1", &mirrors[0], kMaxRecordUrlLength, false},
                  {L"mirror2", &mirrors[1], kMaxRecordUrlLength, false},
                  {L"mirror3", &mirrors[2], kMaxRecordUrlLength, false},
                  {L"mirror4", &mirrors[3], kMaxRecordUrlLength, false}};
    bool inUpdate = false, hasDesc = false;
    for (size_t pos = 0; pos < text.size();)
    {
        const IniLine line = ReadIniLine(text, pos);
        pos = line.next;
        if (line.kind == IniLine::Section)
        {
            // Only the first "Update" section counts.
            if (inUpdate)
                break;
            inUpdate = SameIniName(line.name, L"Update");
            continue;
        }
        if (!inUpdate || line.kind != IniLine::Entry)
            continue;
        // The description is found only where a key can be: a "desc=" inside
        // another value, or inside the description, is no key.
        for (const std::wstring_view marker : {std::wstring_view(L"desc = "), std::wstring_view(L"desc=")})
        {
            if (!hasDesc && text.substr(line.begin, marker.size()) == marker)
            {
                std::wstring_view rest = text.substr(line.begin + marker.size());
                rest = rest.substr(0, rest.find_last_not_of(L'\0') + 1);
                record.desc.assign(rest);
                hasDesc = true;
            }
        }
        for (Field& field : fields)
        {
            if (field.seen || !SameIniName(line.name, field.key))
                continue;
            // The first entry decides, even one without "=", as the
            // platform's reader decides.
            field.seen = true;
            if (line.hasValue)
                *field.value = CutToCapacity(line.value, field.length + 1);
        }
    }
    for (const std::wstring& mirror : mirrors)
        if (!mirror.empty())
            record.mirrors.push_back(mirror);
    return record;
}

UpdateRecord ReadUpdateRecord()
{
    const std::wstring path = LiveUpdateIniPath();
    if (path.empty())
        return UpdateRecord();
    return ParseUpdateRecord(DecodeIniText(ReadIniBytes(path.c_str())));
}

bool WriteUpdateRecord(const wchar_t* path, const UpdateRecord& record)
{
    if (!RecordFitsItsReaders(record))
        return false;
    // A file that cannot be read whole is not rewritten: its tail would be lost.
    std::optional<std::string> bytes = ReadWholeFile(path, kMaxIniFileBytes);
    if (!bytes)
    {
        if (::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            return false;
        bytes.emplace();
    }
    return SaveIniTextAsUtf8(path, PlaceUpdateRecord(DecodeIniText(*bytes), record));
}
