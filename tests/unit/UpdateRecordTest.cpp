// Storing the update record: the profile-file edits and the whole file.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "update/LiveUpdateIni.h"
#include "update/UpdateRecord.h"

TEST(UpdateRecord, ValuesAreSetAsTheProfileWriterSetsThem)
{
    std::wstring text;
    SetProfileValue(text, L"Update", L"newversion", L"3.0");
    EXPECT_EQ(L"[Update]\r\nnewversion=3.0\r\n", text);

    // Replaced in place, whatever the spelling and the blanks around it.
    text = L"[run]\r\nfrom=1\r\n[UPDATE]\r\n  NewVersion = 2.0\r\nother=x\r\n\r\n[Tail]\r\nk=v";
    SetProfileValue(text, L"Update", L"newversion", L"3.0");
    EXPECT_EQ(L"[run]\r\nfrom=1\r\n[UPDATE]\r\nnewversion=3.0\r\nother=x\r\n\r\n[Tail]\r\nk=v", text);
    // A new key goes after the section's last line, before the blank one.
    SetProfileValue(text, L"Update", L"desc", L"a\r\nb");
    EXPECT_EQ(L"[run]\r\nfrom=1\r\n[UPDATE]\r\nnewversion=3.0\r\nother=x\r\ndesc=a\r\nb\r\n\r\n[Tail]\r\nk=v",
              text);
    // A new section goes at the end, after a line break the text lacked.
    SetProfileValue(text, L"Other", L"k", L"v");
    EXPECT_EQ(
        L"[run]\r\nfrom=1\r\n[UPDATE]\r\nnewversion=3.0\r\nother=x\r\ndesc=a\r\nb\r\n\r\n[Tail]\r\nk=v\r\n"
        L"[Other]\r\nk=v\r\n",
        text);
    // A last section without a final line break.
    text = L"[Update]\r\nk=v";
    SetProfileValue(text, L"Update", L"j", L"w");
    EXPECT_EQ(L"[Update]\r\nk=v\r\nj=w\r\n", text);
}

TEST(UpdateRecord, OnlyValuesThePagesCanTakeWholeFit)
{
    UpdateRecord record{std::wstring(255, L'n'), std::wstring(255, L'v'), std::wstring(1023, L'u'), L"d"};
    EXPECT_TRUE(RecordFitsItsReaders(record));
    record.name += L"n";
    EXPECT_FALSE(RecordFitsItsReaders(record));
    record.name.pop_back();
    record.url += L"u";
    EXPECT_FALSE(RecordFitsItsReaders(record));
}

TEST(UpdateRecord, WrittenRecordKeepsTheRestOfTheFileAndEveryCharacter)
{
    const std::wstring path = LiveUpdateIniPath();
    ::SHCreateDirectoryExW(nullptr, path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    ::DeleteFileW(path.c_str());
    // A file the launcher prepared in UTF-8, with a record to be replaced.
    const std::string prepared = "[Run]\r\nfrom=1\r\n[Update]\r\nnewversion=1.0\r\nnote=\xE4\xB8\xAD\r\n";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, prepared.data(), static_cast<DWORD>(prepared.size()), &written, nullptr);
    ::CloseHandle(file);

    ASSERT_TRUE(WriteUpdateRecord(path.c_str(), {L"名 😀", L"3.0", L"http://h/p.exe", L"x\r\ny"}));
    const std::string bytes = ReadIniBytes(path.c_str());
    ASSERT_EQ(kIniFileBlockBytes, bytes.size());
    const std::string expected =
        "[Run]\r\nfrom=1\r\n[Update]\r\nnewversion=3.0\r\nnote=\xE4\xB8\xAD\r\n"
        "newversionname=\xE5\x90\x8D \xF0\x9F\x98\x80\r\ndownloadurl=http://h/p.exe\r\n"
        "desc=x\r\ny\r\n";
    EXPECT_EQ(expected, bytes.substr(0, expected.size()));
    EXPECT_EQ(std::string::npos, bytes.find_first_not_of('\0', expected.size()));
    EXPECT_FALSE(::GetFileAttributesW((path + L".new").c_str()) != INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(path.c_str());

    // Without the client's folder there is nowhere to write: false, nothing made.
    const std::wstring nowhere = path.substr(0, path.rfind(L'\\')) + L"\\missing-folder\\LiveUpdate.ini";
    EXPECT_FALSE(WriteUpdateRecord(nowhere.c_str(), {L"n", L"v", L"u", L"d"}));
}
