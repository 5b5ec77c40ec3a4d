#include "update/download/ResumeState.h"

#include <algorithm>
#include <cwchar>

#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/CodePages.h"

const wchar_t kResumeStateSuffix[] = L".downloading.resume";

namespace
{
// A state file is a few hundred bytes; anything larger is not one.
const size_t kMaxStateBytes = 16 * 1024;
const wchar_t kPartialSuffix[] = L".downloading";

bool HasLineBreak(const std::wstring& text)
{
    return text.find_first_of(L"\r\n") != std::wstring::npos;
}

// Only decimal digits, at least one, and a value that fits.
bool ParseDigits(const std::wstring& text, uint64_t& value)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    value = 0;
    for (wchar_t c : text)
    {
        const uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

ULONGLONG FileTimeValue(const FILETIME& time)
{
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// 0 when the file is missing.
ULONGLONG LastWritten(const std::wstring& path)
{
    const std::optional<FileFacts> facts = ReadFileFacts(path);
    return facts ? facts->lastWritten : 0;
}
} // namespace

std::wstring PartialPackagePath(const std::wstring& packagePath)
{
    return packagePath + kPartialSuffix;
}

std::wstring ResumeStatePath(const std::wstring& packagePath)
{
    return packagePath + kResumeStateSuffix;
}

std::string FormatResumeState(const ResumeState& state)
{
    if (HasLineBreak(state.url) || HasLineBreak(state.from) || HasLineBreak(state.validator))
        return std::string();
    return EncodeText(L"url=" + state.url + (state.from.empty() ? L"" : L"\r\nfrom=" + state.from) +
                          L"\r\nvalidator=" + state.validator + L"\r\ntotal=" + std::to_wstring(state.total) +
                          L"\r\nheld=" + std::to_wstring(state.held) + L"\r\n",
                      CP_UTF8);
}

std::optional<ResumeState> ParseResumeState(const std::string& text)
{
    if (text.size() > kMaxStateBytes)
        return std::nullopt;
    const std::wstring decoded = DecodeText(text, CP_UTF8);
    ResumeState state;
    unsigned seen = 0;
    size_t pos = 0;
    while (pos < decoded.size())
    {
        size_t end = decoded.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos)
            end = decoded.size();
        const std::wstring line = decoded.substr(pos, end - pos);
        pos = decoded.find_first_not_of(L"\r\n", end);
        if (pos == std::wstring::npos)
            pos = decoded.size();
        if (line.empty())
            continue;
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos)
            return std::nullopt;
        const std::wstring key = line.substr(0, equals);
        const std::wstring value = line.substr(equals + 1);
        unsigned bit = 0;
        if (key == L"url")
            bit = 1, state.url = value;
        else if (key == L"validator")
            bit = 2, state.validator = value;
        else if (key == L"total")
            bit = 4;
        else if (key == L"held")
            bit = 8;
        else if (key == L"from" && !value.empty())
            bit = 16, state.from = value;
        if (bit == 0 || (seen & bit))
            return std::nullopt;
        seen |= bit;
        if ((bit == 4 && (!ParseDigits(value, state.total) || state.total == 0)) ||
            (bit == 8 && !ParseDigits(value, state.held)))
            return std::nullopt;
    }
    if ((seen & 15) != 15 || state.url.empty())
        return std::nullopt;
    if (state.from.empty())
        state.from = state.url;
    return state;
}

bool SaveResumeState(const std::wstring& path, const ResumeState& state)
{
    const std::string text = FormatResumeState(state);
    if (text.empty())
        return false;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::optional<ResumeState> LoadResumeState(const std::wstring& path)
{
    const std::optional<std::string> text = ReadWholeFile(path.c_str(), kMaxStateBytes);
    if (!text)
        return std::nullopt;
    return ParseResumeState(*text);
}

void DiscardPartialDownload(const std::wstring& packagePath)
{
    ::DeleteFileW(PartialPackagePath(packagePath).c_str());
    ::DeleteFileW(ResumeStatePath(packagePath).c_str());
}

void KeepOnlyResumable(const std::wstring& packagePath, const std::wstring& url)
{
    const std::optional<ResumeState> state = LoadResumeState(ResumeStatePath(packagePath));
    const bool held = FileLength(PartialPackagePath(packagePath)) > 0;
    if (!(state && state->url == url && !state->validator.empty() && held))
        DiscardPartialDownload(packagePath);
}

void RemoveStaleDownloads(const std::wstring& folder, ULONGLONG maxAgeMs)
{
    if (folder.empty())
        return;
    FILETIME nowTime{};
    ::GetSystemTimeAsFileTime(&nowTime);
    const ULONGLONG now = FileTimeValue(nowTime);
    const ULONGLONG maxAge = maxAgeMs * 10000;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"*" + kResumeStateSuffix;
    FindHandle search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search)
        return;
    do
    {
        const std::wstring name = found.cFileName;
        const size_t suffixLength = wcslen(kResumeStateSuffix);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name.size() <= suffixLength)
            continue;
        const std::wstring packagePath = folder + name.substr(0, name.size() - suffixLength);
        const ULONGLONG newest =
            std::max(LastWritten(ResumeStatePath(packagePath)), LastWritten(PartialPackagePath(packagePath)));
        if (newest != 0 && now > newest && now - newest > maxAge)
            DiscardPartialDownload(packagePath);
    } while (::FindNextFileW(search.Get(), &found));
}
