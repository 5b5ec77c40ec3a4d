// The installed client's record: the 260-byte budget of each value.
#include <gtest/gtest.h>

#include "harness/Machine.h"
#include "pages/WelcomeDlg.h"
#include "update/record/ClientRecord.h"

namespace
{
void SetVersionData(DWORD type, const void* data, DWORD size)
{
    harness::SetClientRecordValue(L"DisplayVersion", type, data, size);
}
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

TEST(ClientRecord, WelcomeLineNamesTheCampusEdition)
{
    EXPECT_EQ(L"Qora校园版 2.1", FormatClientLine(L"Qora企业版", L"2.1"));
    EXPECT_EQ(L"Qora校园版 2.1", FormatClientLine(L"", L"2.1"));
    EXPECT_EQ(L"Client ", FormatClientLine(L"Client", L""));
    EXPECT_EQ(L"校园版 和 校园版 1", FormatClientLine(L"企业版 和 企业版", L"1"));
}
