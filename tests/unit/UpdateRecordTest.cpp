// The update record: reading it from the file's text, where it goes when it
// is stored, and the file.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "framework/ScopedHandle.h"
#include "harness/Files.h"
#include "update/record/LiveUpdateIni.h"
#include "update/record/UpdateRecord.h"

using harness::WriteBytes;

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
