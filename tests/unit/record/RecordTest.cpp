// The record room: the installed client's record (the 260-byte budget of
// each value), the settings file's text and its reader (the encoding probe
// and both read branches, which run under code page 936 and, in a second
// run, 1252), and the update record: read from the file's text, placed when
// it is stored, and the file.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "framework/ScopedHandle.h"
#include "harness/Files.h"
#include "harness/Machine.h"
#include "support/CodePages.h"
#include "support/WideText.h"
#include "update/record/ClientRecord.h"
#include "update/record/IniText.h"
#include "update/record/LiveUpdateIni.h"
#include "update/record/UpdateRecord.h"

using harness::WriteBytes;

namespace
{
void SetVersionData(DWORD type, const void* data, DWORD size)
{
    harness::SetClientRecordValue(L"DisplayVersion", type, data, size);
}

bool Utf8(const std::string& bytes)
{
    return IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// A text the system's ANSI code page holds and whose ANSI form is not UTF-8.
std::wstring AnsiOnlyText()
{
    return ::GetACP() == 936 ? std::wstring(L"Qora企业版") : std::wstring(L"Qora Café");
}

class LiveUpdateIni : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetLiveUpdateIniPath(m_path));
        std::wstring folder(m_path);
        folder.erase(folder.find_last_of(L'\\'));
        ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        ::DeleteFileW(m_path);
    }
    void TearDown() override { ::DeleteFileW(m_path); }

    void Write(const std::string& bytes) const { harness::WriteBytes(m_path, bytes); }

    static std::wstring Read(const wchar_t* section, const wchar_t* key, int capacity = 256)
    {
        std::wstring buffer(static_cast<size_t>(capacity), L'\0');
        ReadUpdateSetting(section, key, &buffer[0], capacity);
        return TextOfBuffer(buffer.data(), buffer.size());
    }

    wchar_t m_path[kIniPathCapacity] = {};
};
} // namespace

TEST(ClientRecord, EachValueComesThroughWithinTwoHundredSixtyBytes)
{
    harness::RemoveClientRecord();
    EXPECT_EQ(L"", ReadInstalledVersion()) << "no record";

    const std::wstring fits(129, L'9');
    SetVersionData(REG_SZ, fits.c_str(), 260); // 129 characters and the NUL
    EXPECT_EQ(fits, ReadInstalledVersion());

    const std::wstring longer(130, L'9');
    SetVersionData(REG_SZ, longer.c_str(), 262);
    EXPECT_EQ(L"", ReadInstalledVersion()) << "a longer value counts as missing";

    // Text stored without its NUL (Wine's registry adds one to REG_SZ data,
    // so it is stored as bytes; the type is not examined anyway).
    SetVersionData(REG_BINARY, longer.c_str(), 260);
    EXPECT_EQ(longer, ReadInstalledVersion());

    // Other types: the bytes are taken as text.
    const DWORD number = 0x00330032; // "23"
    SetVersionData(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(L"23", ReadInstalledVersion());
    const BYTE odd[] = {'4', 0, '2', 0, '7'};
    SetVersionData(REG_BINARY, odd, sizeof odd);
    EXPECT_EQ(L"427", ReadInstalledVersion());

    harness::RemoveClientRecord();
}

TEST(IniText, AcceptsAsciiUtf8AndSequencesCutByTheEnd)
{
    EXPECT_TRUE(Utf8(""));
    EXPECT_TRUE(Utf8(std::string("a\0b", 3)));
    EXPECT_TRUE(Utf8("\xE4\xB8\xAD\xC3\xA9"));
    EXPECT_TRUE(Utf8("ab\xE4\xB8")); // three-byte form cut after two
    EXPECT_TRUE(Utf8("ab\xE4"));
    EXPECT_TRUE(Utf8("ab\xC3"));
    EXPECT_TRUE(Utf8("\xC0\x80")); // overlong forms are not rejected
    EXPECT_TRUE(Utf8("\xF0\x9F\x98\x80"));
    EXPECT_TRUE(Utf8("ab\xF0\x9F\x98"));
}

TEST(IniText, RejectsStrayContinuationsHighLeadsAndBadFollowers)
{
    EXPECT_FALSE(Utf8("\x80"));
    EXPECT_FALSE(Utf8("a\xBF"));
    EXPECT_FALSE(Utf8("\xF0\x9F\x41\x80"));
    EXPECT_FALSE(Utf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(Utf8("\xC3\x41"));
    EXPECT_FALSE(Utf8("\xE4\xB8\x41"));
    // GBK "中文": D6 D0 is a two-byte lead followed by a non-continuation.
    EXPECT_FALSE(Utf8("\xD6\xD0\xCE\xC4"));
}

TEST(IniText, ReadsByTheProfileRules)
{
    const std::wstring text = L"[Run]\r\nfrom=1\r\n[update]\r\n  NewVersion  =  3.0 beta  \r\n"
                              L"downloadurl=\"http://h/p.exe\"\r\nempty=\r\nnovalue\r\nnovalue=x\r\n";
    std::wstring value = L"untouched";
    EXPECT_TRUE(FindIniValue(text, L"Update", L"newversion", value));
    EXPECT_EQ(L"3.0 beta", value);
    EXPECT_TRUE(FindIniValue(text, L"UPDATE", L"downloadurl", value));
    EXPECT_EQ(L"http://h/p.exe", value);
    EXPECT_TRUE(FindIniValue(text, L"Update", L"empty", value));
    EXPECT_EQ(L"", value);
    EXPECT_TRUE(FindIniValue(text, L"Run", L"from", value));
    EXPECT_EQ(L"1", value);

    value = L"untouched";
    EXPECT_FALSE(FindIniValue(text, L"Update", L"novalue", value)) << "the first entry, without \"=\", wins";
    EXPECT_FALSE(FindIniValue(text, L"Update", L"from", value));
    EXPECT_FALSE(FindIniValue(text, L"Missing", L"from", value));
    EXPECT_EQ(L"untouched", value);
}

TEST(IniText, TakesTheFirstSectionOnlyAndReadsNamesAndValuesToTheirFirstZero)
{
    const std::wstring text =
        L"[A]\nk=1\n[B]\nk=2\n[A]\nk=3\nj=4\n[C]\nk=5" + std::wstring(1, L'\0') + L"x\n";
    std::wstring value;
    EXPECT_TRUE(FindIniValue(text, L"A", L"k", value));
    EXPECT_EQ(L"1", value);
    EXPECT_FALSE(FindIniValue(text, L"A", L"j", value));
    EXPECT_TRUE(FindIniValue(text, L"C", L"k", value)) << "a zero ends the value, not the text";
    EXPECT_EQ(L"5", value);
}

TEST_F(LiveUpdateIni, PathIsTheClientsFolderInApplicationData)
{
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    EXPECT_EQ(std::wstring(appData) + L"\\Qoravel\\LiveUpdate.ini", m_path);
    EXPECT_EQ(m_path, LiveUpdateIniPath());
}

TEST_F(LiveUpdateIni, AsciiFileIsProbedAsUtf8AndReadsAsTheAnsiBranchReadsIt)
{
    Write("[Run]\r\nfrom = 1 \r\n[Update]\r\nnewversion=\"3.0 beta\"\r\nnewversionname =Qora\r\n");
    ProbeIniEncoding();
    ASSERT_TRUE(g_bIniIsUtf8);
    const std::wstring viaUtf8[] = {Read(L"Run", L"from"), Read(L"update", L"NewVersion"),
                                    Read(L"Update", L"newversionname"), Read(L"Update", L"missing")};
    g_bIniIsUtf8 = false;
    const std::wstring viaAnsi[] = {Read(L"Run", L"from"), Read(L"update", L"NewVersion"),
                                    Read(L"Update", L"newversionname"), Read(L"Update", L"missing")};
    EXPECT_EQ(L"1", viaUtf8[0]);
    EXPECT_EQ(L"3.0 beta", viaUtf8[1]);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(viaAnsi[i], viaUtf8[i]) << "key " << i;
}

TEST_F(LiveUpdateIni, AnsiFileIsReadThroughTheAnsiBranch)
{
    Write("[Update]\r\nnewversionname=" + EncodeText(AnsiOnlyText(), CP_ACP) + "\r\nnewversion=3.0\r\n");
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    EXPECT_EQ(AnsiOnlyText(), Read(L"Update", L"newversionname"));
    EXPECT_EQ(L"3.0", Read(L"Update", L"newversion"));
}

TEST_F(LiveUpdateIni, ProbeLooksAtTheFirstKilobyteOnly)
{
    // A UTF-8 sequence cut by the probe's limit still counts as UTF-8 ...
    std::string head(1023, 'a');
    Write("[Update]\r\n" + head.substr(10) + "\xE4\xB8\xAD" + "\r\n");
    ProbeIniEncoding();
    EXPECT_TRUE(g_bIniIsUtf8);
    // ... and what lies beyond it is not looked at.
    Write("[Update]\r\n" + std::string(1100, 'a') + "\xD6\xD0\r\n");
    ProbeIniEncoding();
    EXPECT_TRUE(g_bIniIsUtf8);
    Write("[Update]\r\nk=\xD6\xD0\r\n");
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    // A missing file is read as ANSI, which gives only empty values.
    ::DeleteFileW(m_path);
    g_bIniIsUtf8 = true;
    ProbeIniEncoding();
    EXPECT_FALSE(g_bIniIsUtf8);
    EXPECT_EQ(L"", Read(L"Run", L"from"));
}

TEST_F(LiveUpdateIni, Utf8BranchKeepsEveryCharacter)
{
    // The platform's narrow reader would pass this through the ANSI code page
    // and destroy what it cannot hold; on a Chinese system that is most of it.
    const std::wstring name = L"Qora企业版 3.0 — Ελληνικά 😀";
    Write("[Update]\r\nnewversionname=" + EncodeText(name, CP_UTF8) +
          "\r\ndownloadurl = http://h/包.exe \r\n");
    ProbeIniEncoding();
    ASSERT_TRUE(g_bIniIsUtf8);
    EXPECT_EQ(name, Read(L"Update", L"newversionname"));
    EXPECT_EQ(L"http://h/包.exe", Read(L"Update", L"downloadurl", 1024));
}

TEST_F(LiveUpdateIni, Utf8ValueLongerThanItsBufferIsCutWithoutSplittingAPair)
{
    std::wstring value(300, L'x');
    Write("[Update]\r\nnewversion=" + EncodeText(value, CP_UTF8) + "\r\n");
    ProbeIniEncoding();
    EXPECT_EQ(std::wstring(255, L'x'), Read(L"Update", L"newversion"));

    value = std::wstring(254, L'x') + L"😀";
    Write("[Update]\r\nnewversion=" + EncodeText(value, CP_UTF8) + "\r\n");
    ProbeIniEncoding();
    EXPECT_EQ(std::wstring(254, L'x'), Read(L"Update", L"newversion"));
}

TEST(UpdateRecord, RecordGoesLastWithItsDescriptionLastAndStaleChecksRemoved)
{
    EXPECT_EQ(L"[Update]\r\nnewversionname=N\r\nnewversion=3.0\r\ndownloadurl=u\r\nsize=7\r\nsha256=ab\r\n"
              L"signature=c2ln\r\ndesc=d\r\n",
              PlaceUpdateRecord(L"", {L"N", L"3.0", L"u", L"7", L"ab", L"c2ln", L"d"}));

    // Every "Update" section (however spelt) is taken out and its other
    // lines go to the one at the end; later sections stay before it; checks
    // the new record does not carry are removed; a value the reader would
    // trim or unquote is quoted.
    const std::wstring prepared =
        L"[run]\r\nfrom=1\r\n[ UPDATE ]\r\n  NewVersion = 2.0\r\nother=x\r\nsha256=stale\r\n"
        L"desc=old\r\nsignature\r\n\r\n[Tail]\r\nk=v\r\n[update]\r\nsize=9\r\nlate=y";
    EXPECT_EQ(
        L"[run]\r\nfrom=1\r\n[Tail]\r\nk=v\r\n[Update]\r\nother=x\r\nlate=y\r\nnewversionname=\"'N'\"\r\n"
        L"newversion=\" 3.0\"\r\ndownloadurl=u\r\ndesc= a\r\n[b]\r\n",
        PlaceUpdateRecord(prepared, {L"'N'", L" 3.0", L"u", L"", L"", L"", L" a\r\n[b]"}));

    // Mirrors follow the address; read back in their order, the missing
    // ones left out, stale ones replaced.
    const std::wstring placed = PlaceUpdateRecord(L"[Update]\r\nmirror3=old\r\n",
                                                  {L"N", L"3", L"u", L"", L"", L"", L"d", {L"m1", L"m2"}});
    EXPECT_EQ(L"[Update]\r\nnewversionname=N\r\nnewversion=3\r\ndownloadurl=u\r\nmirror1=m1\r\nmirror2=m2\r\n"
              L"desc=d\r\n",
              placed);
    EXPECT_EQ((std::vector<std::wstring>{L"m2", L"m4"}),
              ParseUpdateRecord(L"[Update]\r\nmirror4=m4\r\nmirror2=m2\r\n").mirrors);
}

TEST(UpdateRecord, OnlyValuesThePagesCanTakeWholeFit)
{
    UpdateRecord record{std::wstring(255, L'n'),
                        std::wstring(255, L'v'),
                        std::wstring(1023, L'u'),
                        L"",
                        L"",
                        L"",
                        std::wstring(kMaxDescriptionBytes, L'd')};
    EXPECT_TRUE(RecordFitsItsReaders(record));
    record.desc.back() = L'\u00E9'; // two bytes in UTF-8
    EXPECT_FALSE(RecordFitsItsReaders(record));
    record.desc = L"d";
    record.name += L"n";
    EXPECT_FALSE(RecordFitsItsReaders(record));
    record.name.pop_back();
    record.url += L"u";
    EXPECT_FALSE(RecordFitsItsReaders(record));
    record.url.pop_back();
    record.mirrors.assign(kMaxRecordMirrors, std::wstring(1023, L'm'));
    EXPECT_TRUE(RecordFitsItsReaders(record));
    record.mirrors.push_back(L"m");
    EXPECT_FALSE(RecordFitsItsReaders(record)) << "a fifth mirror";
}

TEST(UpdateRecord, FileIsRewrittenInPlaceWhileOthersHoldItOpen)
{
    const std::wstring path = LiveUpdateIniPath();
    ::SHCreateDirectoryExW(nullptr, path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    // A file the launcher prepared in UTF-8, longer than the record that
    // replaces its old one.
    WriteBytes(path,
               "[Run]\r\nfrom=1\r\n[Update]\r\nnote=\xE4\xB8\xAD\r\ndesc=" + std::string(6000, 'o') + "\r\n");
    {
        // Another program reads and writes it, but lets nobody delete it.
        FileHandle other(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
        ASSERT_TRUE(other);
        ASSERT_TRUE(
            WriteUpdateRecord(path.c_str(), {L"名 😀", L"3.0", L"http://h/p.exe", L"", L"", L"", L"x\r\ny"}));
    }
    const std::string bytes = ReadIniBytes(path.c_str());
    ASSERT_EQ(kIniFileBlockBytes, bytes.size());
    const std::string expected = "[Run]\r\nfrom=1\r\n[Update]\r\nnote=\xE4\xB8\xAD\r\n"
                                 "newversionname=\xE5\x90\x8D \xF0\x9F\x98\x80\r\nnewversion=3.0\r\n"
                                 "downloadurl=http://h/p.exe\r\ndesc=x\r\ny\r\n";
    EXPECT_EQ(expected, bytes.substr(0, expected.size()));
    EXPECT_EQ(std::string::npos, bytes.find_first_not_of('\0', expected.size()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((path + L".new").c_str()));
    ::DeleteFileW(path.c_str());

    // Without the client's folder there is nowhere to write: false, nothing made.
    const std::wstring nowhere = path.substr(0, path.rfind(L'\\')) + L"\\missing-folder\\LiveUpdate.ini";
    EXPECT_FALSE(WriteUpdateRecord(nowhere.c_str(), {L"n", L"v", L"u", L"", L"", L"", L"d"}));
}

TEST(UpdateRecord, DescriptionFollowsTheDescKeyOfTheUpdateSection)
{
    auto description = [](const std::wstring& text) { return ParseUpdateRecord(text).desc; };
    EXPECT_EQ(L"one\r\ntwo\r\n", description(L"[Update]\r\nnewversion=3\r\ndesc=one\r\ntwo\r\n"));
    EXPECT_EQ(L"one\r\n", description(L"[Update]\r\ndesc = one\r\n"));
    EXPECT_EQ(L"  spaced\r\n[X]\r\n", description(L"[update]\r\ndesc=  spaced\r\n[X]\r\n"))
        << "kept as it is";
    EXPECT_EQ(L"", description(L"desc=outside\r\n[Update]\r\nnewversion=3\r\n[Other]\r\ndesc=x\r\n"));
    EXPECT_EQ(L"", description(L"[Update]\r\n desc=indented\r\n"));
    EXPECT_EQ(std::wstring(L"中\0x", 3), description(std::wstring(L"[Update]\r\ndesc=中\0x\0\0", 20)))
        << "the padding goes, a zero inside stays";
}
