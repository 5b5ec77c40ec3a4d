// The routines that read text and bytes: the settings file (probe, both read
// branches, the description scan), the UTF-8 decoder and probe, the package
// name taken from the download address, and registry texts.
#include <windows.h>

#include <algorithm>

#include "framework/ScopedHandle.h"
#include "fuzz/Routines.h"
#include "support/Files.h"
#include "support/RegistryText.h"
#include "support/CodePages.h"
#include "support/WideText.h"
#include "support/Utf8.h"
#include "update/record/IniText.h"
#include "update/record/LiveUpdateIni.h"
#include "update/record/UpdateRecord.h"
#include "update/download/PackageName.h"

namespace
{
const wchar_t* const kKeys[] = {L"newversionname", L"newversion", L"downloadurl", L"size",
                                L"sha256",         L"signature",  L"desc",        L"from"};

// The readers of the settings file. A plain-ASCII file reads the same in
// both branches; a file the platform reads (ANSI or UTF-16) reads as this
// program's own model of its lines reads it.
void RunIni(const std::string& input, Checker& check, const FuzzPlaces& places)
{
    WriteInputFile(places.iniPath, input);
    ProbeIniEncoding();
    const bool probedUtf8 = g_bIniIsUtf8;
    const std::wstring text = DecodeIniText(input);
    std::vector<IniName> names;
    for (const wchar_t* key : kKeys)
        names.push_back({key == std::wstring(L"from") ? L"Run" : L"Update", key});
    const size_t known = names.size();
    for (IniName& name : IniEntryNames(text, 16 - known, false))
        names.push_back(std::move(name));
    const int capacity = static_cast<int>(input.size() + 2);
    std::vector<std::wstring> reads;
    for (const IniName& name : names)
        reads.push_back(ReadIniValue(name, capacity));
    const std::wstring description = ReadUpdateRecord().desc;
    check.Expect(description.size() <= input.size(), "a description longer than the file");

    const bool ascii = std::all_of(input.begin(), input.end(), [](char c) { return (c & 0x80) == 0; });
    // The platform's reader takes a byte from beyond the end of a UTF-16 file
    // of odd length into its last character: that one it cannot judge.
    const bool judged = !probedUtf8 && !(IsUtf16WithMark(input) && input.size() % 2 == 1);
    check.Untimed(
        [&]
        {
            for (size_t i = 0; i < names.size(); ++i)
            {
                const std::string where = "[" + Utf8(names[i].section) + "] " + Utf8(names[i].key);
                if (ascii)
                {
                    g_bIniIsUtf8 = !probedUtf8;
                    check.Expect(reads[i] == ReadIniValue(names[i], capacity),
                                 where + " reads otherwise in the other branch");
                    g_bIniIsUtf8 = probedUtf8;
                }
                std::wstring model;
                if (!FindIniValue(text, names[i].section, names[i].key, model))
                    model.clear();
                check.Expect(!judged || reads[i] == model,
                             where + " reads \"" + Utf8(reads[i].substr(0, 40)) +
                                 "\" as the platform reads it, \"" + Utf8(model.substr(0, 40)) +
                                 "\" by this program's model");
            }
        });
}

void RunUtf8(const std::string& input, Checker& check)
{
    const GuardedBytes bytes(input);
    std::wstring decoded;
    Utf8ToWide(decoded, reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    const bool probe = IsUtf8Text(bytes.Data(), bytes.Size());
    check.Expect(decoded.size() <= input.size(), "more units than bytes");
    if (IsStrictUtf8(input))
    {
        check.Expect(probe, "valid UTF-8 fails the probe");
        check.Expect(decoded == DecodeText(input, CP_UTF8),
                     "valid UTF-8 decodes otherwise than the platform's");
    }
}

void RunPackageName(const std::string& input, Checker& check, const std::wstring& folder)
{
    std::wstring url;
    Utf8ToWide(url, input.data(), input.size());
    const std::wstring name = LastUrlSegment(url);
    if (!IsUsablePackageName(folder, name))
        return;
    check.Expect(name.find_first_of(L"\\/:") == std::wstring::npos, "a separator in the name");
    const std::wstring partial = folder + name + L".downloading";
    check.Expect(partial.size() + 7 <= MAX_PATH - 1, "a temporary path longer than a path may be");
    wchar_t full[4 * MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(partial.c_str(), 4 * MAX_PATH, full, nullptr);
    check.Expect(length == partial.size() && partial == full,
                 "the name leads elsewhere: " + Utf8(TextOfBuffer(full, 4 * MAX_PATH)));
}

// Every length, odd sizes: the text never reaches past the data, and a value
// read through the registry gives the same text within its budget.
void RunRegistry(const std::string& input, Checker& check, const FuzzPlaces& places)
{
    const GuardedBytes bytes(input);
    const std::wstring text = TextFromRegistryData(bytes.Data(), bytes.Size());
    check.Expect(text.find(L'\0') == std::wstring::npos, "a zero in the text");
    check.Expect(text.size() <= (input.size() + 1) / 2, "more units than the data holds");

    RegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, places.registryKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key.Receive(), nullptr) != ERROR_SUCCESS ||
        ::RegSetValueExW(key.Get(), L"v", 0, REG_BINARY, bytes.Data(), static_cast<DWORD>(bytes.Size())) !=
            ERROR_SUCCESS)
        return check.Expect(false, "the registry value could not be set");
    const DWORD budget = 260;
    std::wstring read = L"untouched";
    const bool found = ReadRegistryText(key.Get(), L"v", budget, read);
    check.Expect(found == (input.size() <= budget), "a value read beyond its budget, or not within it");
    check.Expect(read == (found ? text : L"untouched"), "the registry gives another text");
}

std::string LineEnd(Generator& random)
{
    return random.Pick(std::vector<std::string>{"\r\n", "\n", "\r", "\r\r\n", "\n\r"});
}
} // namespace

std::string IniExtreme(Generator& random)
{
    const size_t n = 1 + random.Size(60 * 1000);
    static const std::vector<std::string> lines = {"[Update]",
                                                   "[ Update ]",
                                                   "[update]junk",
                                                   "[Update",
                                                   "\x1A[Update]\x1A",
                                                   "[Run]",
                                                   "from=1",
                                                   " from = 1 ",
                                                   "[Tail]",
                                                   "k=v",
                                                   "desc=old",
                                                   "desc = old",
                                                   "desc",
                                                   "newversion",
                                                   "newversion=2",
                                                   "newversion = \"2\"",
                                                   "sha256=stale",
                                                   "size=1",
                                                   "signature=x",
                                                   "k\x1A=\x1Av\x1A",
                                                   "k=\"v\"",
                                                   "k='v",
                                                   "=v",
                                                   "[]",
                                                   "[X]",
                                                   std::string("k=v\0w", 5),
                                                   std::string("\0[Update]", 9),
                                                   "\xEF\xBB\xBF[Update]",
                                                   "note=\xE4\xB8\xAD",
                                                   "\xD6\xD0=\xCE\xC4",
                                                   "downloadurl=http://h/get?file=a.exe&desc=full"};
    std::string text;
    switch (random.Below(4))
    {
        case 0: // many short lines, or a few long ones
            text = "[Update]" + LineEnd(random) +
                   (random.Percent(50) ? Repeat("a" + LineEnd(random), n / 3)
                                       : Repeat(std::string(n, 'v') + "\r\n", 1 + n % 16));
            break;
        case 1: // a section without end, repeated keys
            text = "[Update]\r\n" + Repeat("newversion=" + std::to_string(n % 10) + "\r\n", n / 14 + 1);
            break;
        default:
            for (size_t i = 0, count = random.Below(40); i < count; ++i)
                text += random.Pick(lines) + LineEnd(random);
            break;
    }
    switch (random.Below(4))
    {
        case 0:
            return Utf16(text, random.Percent(20), true);
        case 1:
            return text + std::string(random.Below(5000), '\0');
        default:
            return text;
    }
}

void AddTextRoutines(std::vector<Routine>& routines, const FuzzPlaces& places)
{
    routines.push_back(
        {"ini",
         {"[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Qora\r\nnewversion=3.0\r\ndownloadurl=http://"
          "h/p.exe\r\ndesc=one\r\ntwo\r\n",
          "[ Update ]\r\nnewversion = 3 \r\n\x1A", "\xFF\xFE[\0U\0p\0d\0a\0t\0e\0]\0"},
         IniExtreme,
         [places](const std::string& input, Checker& check) { RunIni(input, check, places); }});

    routines.push_back(
        {"utf8",
         {"a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\xE4\x41\x42", "\xC0\x80\xED\xA0\x80\xF4\x90\x80\x80"},
         [](Generator& random)
         {
             return Repeat(random.Pick(std::vector<std::string>{"\xF0", "\xE4\xB8", "\xFF", "\x80"}),
                           random.Size(kMaxInputBytes));
         },
         RunUtf8});

    const std::wstring folder = TemporaryFolder();
    routines.push_back(
        {"packagename",
         {"https://updates.example.com/packages/QoraSetup-3.0.exe", "http://h/a/%2e%2e/x.exe?y=1"},
         [](Generator& random)
         {
             return "http://h/" + random.Pick(std::vector<std::string>{
                                      "..", "...", "a\\..\\b.exe", "c:x.exe", "x.exe:s", "NUL .exe",
                                      "CON  .txt", "COM1 .exe", "LPT1 .exe", "CONIN$", "CONOUT$.exe",
                                      "aux.a.b", "trail.", "trail ", std::string(300, 'a'),
                                      "\xE2\x80\xAE"
                                      "exe.txt",
                                      "x\xC0\xAF.exe"});
         },
         [folder](const std::string& input, Checker& check) { RunPackageName(input, check, folder); }});

    routines.push_back({"registry",
                        {std::string("4\0002\0007", 5), std::string("Q\0o\0r\0a\0\0\0x\0", 12)},
                        [](Generator& random) { return random.Bytes(random.Below(600)); },
                        [places](const std::string& input, Checker& check)
                        { RunRegistry(input, check, places); }});
}

std::vector<IniName> IniEntryNames(const std::wstring& text, size_t limit, bool firstSectionsOnly)
{
    std::vector<IniName> names;
    std::vector<std::wstring> sections;
    bool first = true;
    std::wstring section;
    for (size_t pos = 0; pos < text.size() && names.size() < limit;)
    {
        const IniLine line = ReadIniLine(text, pos);
        pos = line.next;
        if (line.kind == IniLine::Section)
        {
            section.assign(line.name);
            first = std::none_of(sections.begin(), sections.end(),
                                 [&](const std::wstring& seen) { return SameIniName(seen, section); });
            sections.push_back(section);
        }
        else if ((first || !firstSectionsOnly) && line.kind == IniLine::Entry && !section.empty() &&
                 !line.name.empty())
        {
            names.push_back({section, std::wstring(line.name)});
        }
    }
    return names;
}

std::wstring ReadIniValue(const IniName& name, int capacity)
{
    std::wstring buffer(static_cast<size_t>(capacity), L'\0');
    ReadUpdateSetting(name.section.c_str(), name.key.c_str(), &buffer[0], capacity);
    return TextOfBuffer(buffer.data(), buffer.size());
}
