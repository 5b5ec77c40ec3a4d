#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "framework/ScopedHandle.h"
#include "support/FolderSecurity.h"
#include "support/WorkingFolder.h"
#include "unit/StandInTools.h"

namespace
{
// The DACL of an SDDL text in which "U" stands for the current user.
LocalMemory DescriptorOf(std::wstring sddl, PACL& dacl)
{
    wchar_t* user = nullptr;
    ::ConvertSidToStringSidW(CurrentUserSid().data(), &user);
    LocalMemory userMemory(user);
    for (size_t at = sddl.find(L";U)"); at != std::wstring::npos; at = sddl.find(L";U)"))
        sddl.replace(at + 1, 1, user);
    PSECURITY_DESCRIPTOR raw = nullptr;
    EXPECT_TRUE(
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &raw, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    ::GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    return LocalMemory(raw);
}
} // namespace

TEST(FolderSecurity, OnlyTheUserTheSystemAndTheAdministratorsAreTrusted)
{
    const struct
    {
        const wchar_t* dacl;
        bool othersMay;
    } cases[] = {
        {L"D:P(A;OICI;FA;;;SY)(A;OICI;GA;;;BA)(A;OICI;FA;;;U)", false}, // a user's own temporary folder
        {L"D:(A;OICI;FA;;;U)(A;OICI;0x1200a9;;;WD)", false},            // everyone reads and lists only
        {L"D:(A;OICIIO;FA;;;CO)(D;;FA;;;WD)(A;;FA;;;SY)", false}, // passed on only; a denial grants nothing
        {L"D:(A;;0x100006;;;BU)(A;;FA;;;SY)", true}, // the system's: users create files and folders
        {L"D:(A;;0x40000;;;AU)", true},              // may rewrite the DACL
        {L"D:(A;;GA;;;S-1-5-21-1-2-3-1001)", true},  // another account
    };
    for (const auto& c : cases)
    {
        PACL dacl = nullptr;
        LocalMemory descriptor = DescriptorOf(c.dacl, dacl);
        EXPECT_EQ(c.othersMay, OthersMayCreateIn(dacl, CurrentUserSid())) << std::string(c.dacl, c.dacl + 20);
    }
    EXPECT_TRUE(OthersMayCreateIn(nullptr, CurrentUserSid())) << "no DACL at all lets everyone in";
}

TEST(FolderSecurity, APrivateSubfolderOnlyWhereOthersMayWrite)
{
    standins::TempDir temp(L"qvx-working-");
    EXPECT_EQ(temp.Path(), ChooseWorkingFolder(temp.Path()).folder) << "a private folder is used as it is";
    const std::wstring open = temp.Path().substr(0, temp.Path().size() - 1), sub = open + L"\\QVXLiveUpdate";
    PACL dacl = nullptr;
    LocalMemory everyone = DescriptorOf(L"D:(A;OICI;FA;;;WD)", dacl);
    ASSERT_TRUE(::SetFileSecurityW(open.c_str(), DACL_SECURITY_INFORMATION, everyone.Get()));
    EXPECT_FALSE(IsPrivateFolder(open, CurrentUserSid()));

    EXPECT_EQ(sub + L"\\", ChooseWorkingFolder(temp.Path()).folder);
    EXPECT_TRUE(IsPrivateFolder(sub, CurrentUserSid()));
    // What an earlier run left in its own subfolder stays.
    EXPECT_TRUE(FileHandle(::CreateFileW((sub + L"\\a.downloading").c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, 0, nullptr)));
    EXPECT_EQ(sub + L"\\", ChooseWorkingFolder(temp.Path()).folder);
    EXPECT_TRUE(standins::FileExists(sub + L"\\a.downloading"));
    EXPECT_TRUE(RemoveEntry(sub));
}
