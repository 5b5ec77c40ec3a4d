// The routines that read text and bytes: the settings file (probe, both read
// branches, the record the pages read), the UTF-8 decoder and probe, and
// registry texts.
#include <windows.h>

#include <algorithm>
#include <cwchar>

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

namespace
{
const wchar_t* const kKeys[] = {L"newversionname", L"newversion", L"downloadurl", L"size",
                                L"sha256",         L"signature",  L"desc",        L"from"};

const char kIniUtf8Branch[] = "a file read as UTF-8 reads as the platform reads it marked as UTF-8";
const char kIniModel[] = "a code-page file reads, by the readers and by the program's model of its lines, as "
                         "the platform reads it";
const char kIniRecord[] = "the record the pages read is what the platform reads into their buffers";
const char kUtf8Units[] = "never more UTF-16 units than bytes";
const char kUtf8Valid[] = "valid UTF-8 passes the probe and decodes as the platform decodes it";
const char kRegistryData[] = "the text is the data up to its first zero unit, as wcslen reads it";

const char kEveryInput[] = "every input";
const char kUtf8File[] = "a UTF-8 file";
const char kCodePageFile[] = "a code-page file";

// The readers of the settings file, judged by the platform's own reader of
// the same text: a file the program reads as UTF-8 as the platform reads its
// bytes with a UTF-8 byte-order mark, any other file as the platform reads
// it. Judged: the value of every name asked, by the branch the probe chose
// (and, for a file the platform reads, by the program's model of its lines,
// which the UTF-8 branch uses), and the record the pages read. The
// description is judged on crash and time only here, and by the record's
// round trip in routine "record".
void RunIni(const std::string& input, Checker& check, const FuzzPlaces& places)
{
    // Which branch the file calls for is told by the platform's decoder, not
    // by the program's probe.
    const std::optional<bool> utf8 = Utf8ByThePlatform(input);
    std::vector<IniName> names;
    for (const wchar_t* key : kKeys)
        names.push_back({key == std::wstring(L"from") ? L"Run" : L"Update", key});
    const size_t known = names.size();
    if (utf8)
        for (IniName& name : IniEntryNames(PlatformText(input, *utf8), 16 - known, false))
            names.push_back(std::move(name));
    WriteInputFile(places.iniPath, input);
    ProbeIniEncoding();
    const std::wstring text = DecodeIniText(input);
    const int capacity = static_cast<int>(input.size() + 2);
    std::vector<std::wstring> reads;
    for (const IniName& name : names)
        reads.push_back(ReadIniValue(name, capacity));
    const UpdateRecord record = ReadUpdateRecord();

    // The platform's reader takes a byte from beyond the end of a UTF-16 file
    // of odd length into its last character: that one it cannot judge.
    if (!utf8 || (IsUtf16WithMark(input) && input.size() % 2 == 1))
        return;
    check.Untimed(
        [&]
        {
            const std::vector<std::wstring> platform =
                *utf8 ? PlatformReads(places.sidePath, MarkedUtf8(input), names, capacity)
                      : PlatformReads(places.sidePath, input, names, capacity);
            for (size_t i = 0; i < names.size(); ++i)
            {
                // A code-page file is read by the platform's reader itself:
                // the program's model of its lines is what is judged there.
                std::wstring model;
                if (!*utf8 && !FindIniValue(text, names[i].section, names[i].key, model))
                    model.clear();
                const std::wstring& read = *utf8 || reads[i] != platform[i] ? reads[i] : model;
                check.Expect(*utf8 ? kIniUtf8Branch : kIniModel, *utf8 ? kUtf8File : kCodePageFile,
                             read == platform[i],
                             "[" + Utf8(names[i].section) + "] " + Utf8(names[i].key) + " reads \"" +
                                 Utf8(read.substr(0, 40)) + "\", the platform \"" +
                                 Utf8(platform[i].substr(0, 40)) + "\"");
            }
            const std::wstring& file = places.sidePath;
            const char* kind = *utf8 ? kUtf8File : kCodePageFile;
            std::vector<std::wstring> mirrors;
            for (int i = 1; i <= 4; ++i)
            {
                const std::wstring mirror =
                    PlatformRead(file, {L"Update", L"mirror" + std::to_wstring(i)}, 1024);
                if (!mirror.empty())
                    mirrors.push_back(mirror);
            }
            // As above, a mirror the platform cuts between the halves of a pair.
            const bool cutPair = std::any_of(mirrors.begin(), mirrors.end(),
                                             [](const std::wstring& m)
                                             { return m.size() == 1023 && IS_HIGH_SURROGATE(m.back()); });
            if (!cutPair)
                check.Expect(kIniRecord, kind, record.mirrors == mirrors,
                             std::to_string(record.mirrors.size()) + " mirrors read, the platform " +
                                 std::to_string(mirrors.size()));
            const std::pair<const wchar_t*, const std::wstring*> values[] = {
                {L"newversionname", &record.name}, {L"newversion", &record.version},
                {L"downloadurl", &record.url},     {L"size", &record.size},
                {L"sha256", &record.sha256},       {L"signature", &record.signature}};
            for (const auto& [key, value] : values)
            {
                // The pages' buffers, as the platform's reader would fill them.
                const size_t units = value == &record.name || value == &record.version ? 256 : 1024;
                const std::wstring expected = PlatformRead(file, {L"Update", key}, static_cast<int>(units));
                // Where the platform cuts a pair in two the program keeps it whole.
                if (expected.size() == units - 1 && IS_HIGH_SURROGATE(expected.back()))
                    continue;
                check.Expect(kIniRecord, kind, *value == expected,
                             Utf8(key) + " reads \"" + Utf8(value->substr(0, 40)) + "\", the platform \"" +
                                 Utf8(expected.substr(0, 40)) + "\"");
            }
        });
}

void RunUtf8(const std::string& input, Checker& check)
{
    const GuardedBytes bytes(input);
    std::wstring decoded;
    Utf8ToWide(decoded, reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    const bool probe = IsUtf8Text(bytes.Data(), bytes.Size());
    check.Expect(kUtf8Units, kEveryInput, decoded.size() <= input.size(), "more units than bytes");
    check.Untimed(
        [&]
        {
            std::wstring platform;
            if (StrictUtf8(input, platform))
                check.Expect(kUtf8Valid, "valid UTF-8", probe && decoded == platform,
                             probe ? "valid UTF-8 decodes otherwise than the platform's"
                                   : "valid UTF-8 fails the probe");
        });
}

// Every length, odd sizes: the text never reaches past the data (the data
// lies against guard pages), and is what the platform's string functions
// read in the zero-filled buffer the value is read into.
void RunRegistry(const std::string& input, Checker& check)
{
    const GuardedBytes bytes(input);
    const std::wstring text = TextFromRegistryData(bytes.Data(), bytes.Size());
    check.Untimed(
        [&]
        {
            std::vector<wchar_t> buffer(input.size() / 2 + 2, L'\0');
            input.copy(reinterpret_cast<char*>(buffer.data()), input.size());
            check.Expect(kRegistryData, kEveryInput, text == buffer.data(), "another text");
        });
}

std::string LineEnd(Generator& random)
{
    return random.Pick(std::vector<std::string>{"\r\n", "\n", "\r", "\r\r\n", "\n\r"});
}
} // namespace

// Whether the settings file's first KiB (zero-filled, as the probe reads it)
// is UTF-8 to the platform's strict decoder: the branch the readers must
// take. Nothing where that decoder is no witness of the probe's documented
// test: four-byte forms (the probe refuses them), overlong and surrogate
// forms (it takes them), a sequence cut off at the KiB's end (it takes it).
std::optional<bool> Utf8ByThePlatform(const std::string& bytes)
{
    std::string head = bytes.substr(0, 1024);
    head.resize(1024, '\0');
    for (size_t i = 0; i < head.size(); ++i)
    {
        const unsigned char b = static_cast<unsigned char>(head[i]);
        const unsigned char next = i + 1 < head.size() ? static_cast<unsigned char>(head[i + 1]) : 0;
        const bool cutOff = (b >= 0xC0 && b <= 0xDF && i + 1 >= head.size()) ||
                            (b >= 0xE0 && b <= 0xEF && i + 2 >= head.size());
        const bool unlike = (b >= 0xF0 && b <= 0xF4) || b == 0xC0 || b == 0xC1 ||
                            (b == 0xE0 && next < 0xA0) || (b == 0xED && next >= 0xA0);
        if (cutOff || unlike)
            return std::nullopt;
    }
    return IsStrictUtf8(head);
}

// The file's text as the platform decodes it in the branch `utf8` names.
std::wstring PlatformText(const std::string& bytes, bool utf8)
{
    if (IsUtf16WithMark(bytes))
    {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i)
        {
            const unsigned char lo = static_cast<unsigned char>(bytes[2 + 2 * i]);
            const unsigned char hi = static_cast<unsigned char>(bytes[3 + 2 * i]);
            text[i] = static_cast<wchar_t>(bytes[0] == '\xFF' ? lo | hi << 8 : hi | lo << 8);
        }
        return text;
    }
    const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    const int size = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(units, 0)), L'\0');
    if (units > 0)
        ::MultiByteToWideChar(codePage, 0, bytes.data(), size, &text[0], units);
    return text;
}

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
                                                   "downloadurl=http://h/get?file=a.exe&desc=full",
                                                   "mirror1=http://m/a.exe",
                                                   " MIRROR3 = http://n/a.exe"};
    std::string text;
    const size_t shape = random.Below(4);
    switch (shape)
    {
        case 0: // many short lines, or a few long ones
        {
            text = "[Update]" + LineEnd(random);
            if (random.Percent(50))
                text += Repeat("a" + LineEnd(random), n / 3);
            else
                text += Repeat(std::string(n, 'v') + "\r\n", 1 + n % 16);
            break;
        }
        case 1: // a section without end, repeated keys
            text = "[Update]\r\n" + Repeat("newversion=" + std::to_string(n % 10) + "\r\n", n / 14 + 1);
            break;
        default:
            for (size_t i = 0, count = random.Below(40); i < count; ++i)
            {
                text += random.Pick(lines);
                text += LineEnd(random);
            }
            break;
    }
    const size_t encoding = random.Below(4);
    switch (encoding)
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
         [places](const std::string& input, Checker& check) { RunIni(input, check, places); },
         {{kIniUtf8Branch, {kUtf8File}},
          {kIniModel, {kCodePageFile}},
          {kIniRecord, {kUtf8File, kCodePageFile}}}});

    routines.push_back(
        {"utf8",
         {"a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\xE4\x41\x42", "\xC0\x80\xED\xA0\x80\xF4\x90\x80\x80"},
         [](Generator& random)
         {
             const std::string unit =
                 random.Pick(std::vector<std::string>{"\xF0", "\xE4\xB8", "\xFF", "\x80"});
             return Repeat(unit, random.Size(kMaxInputBytes));
         },
         RunUtf8,
         {{kUtf8Units, {kEveryInput}}, {kUtf8Valid, {"valid UTF-8"}}}});

    routines.push_back({"registry",
                        {std::string("4\0002\0007", 5), std::string("Q\0o\0r\0a\0\0\0x\0", 12)},
                        [](Generator& random)
                        {
                            const size_t length = random.Below(600);
                            return random.Bytes(length);
                        },
                        RunRegistry,
                        {{kRegistryData, {kEveryInput}}}});
}

std::vector<IniName> IniEntryNames(const std::wstring& text, size_t limit, bool firstSectionsOnly)
{
    // Lines as anyone splits them: "[name]" opens a section, "name=" names
    // an entry, blanks around a name are not part of it.
    const auto trim = [](std::wstring part)
    {
        part.erase(0, part.find_first_not_of(L" \t"));
        part.erase(part.find_last_not_of(L" \t") + 1);
        return part;
    };
    std::vector<IniName> names;
    // Nor do zeros and end-of-file marks, which readers take each their way.
    if (firstSectionsOnly && text.find_first_of(std::wstring(L"\0\x1A", 2)) != std::wstring::npos)
        return names;
    std::vector<std::wstring> sections;
    bool first = true;
    std::wstring section;
    for (size_t pos = 0; pos < text.size() && names.size() < limit;)
    {
        const size_t end = std::min(text.find_first_of(L"\r\n", pos), text.size());
        const std::wstring line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        const size_t close = line.find(L']');
        const size_t equals = line.find(L'=');
        if (!line.empty() && line[0] == L'[' && close != std::wstring::npos)
        {
            section = trim(line.substr(1, close - 1));
            first = std::none_of(sections.begin(), sections.end(),
                                 [&](const std::wstring& seen)
                                 { return _wcsicmp(seen.c_str(), section.c_str()) == 0; });
            // Which of two sections of one name a reader sees is its own
            // rule, not plain line splitting: such a text names nothing.
            if (firstSectionsOnly && !first)
                return {};
            sections.push_back(section);
        }
        // A name with a zero in it cannot be asked: the readers take names
        // as texts that end at their first zero.
        else if ((first || !firstSectionsOnly) && !section.empty() && equals != std::wstring::npos &&
                 !trim(line.substr(0, equals)).empty() && line.find(L'\0') == std::wstring::npos &&
                 section.find(L'\0') == std::wstring::npos)
        {
            names.push_back({section, trim(line.substr(0, equals))});
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

std::wstring PlatformRead(const std::wstring& path, const IniName& name, int capacity)
{
    std::wstring buffer(static_cast<size_t>(capacity), L'\0');
    ::GetPrivateProfileStringW(name.section.c_str(), name.key.c_str(), L"", &buffer[0],
                               static_cast<DWORD>(capacity), path.c_str());
    return buffer.c_str();
}

std::vector<std::wstring> PlatformReads(const std::wstring& path, const std::string& bytes,
                                        const std::vector<IniName>& names, int capacity)
{
    WriteInputFile(path, bytes);
    std::vector<std::wstring> values;
    for (const IniName& name : names)
        values.push_back(PlatformRead(path, name, capacity));
    return values;
}

std::string MarkedUtf8(const std::string& bytes)
{
    return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes : "\xEF\xBB\xBF" + bytes;
}
