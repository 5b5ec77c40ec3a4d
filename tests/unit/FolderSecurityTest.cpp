#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "framework/ScopedHandle.h"
#include "support/FolderSecurity.h"
#include "support/WorkingFolder.h"
#include "unit/StandInTools.h"

using standins::FileExists;
using standins::TempDir;

namespace
{
std::wstring SidText(const SidBytes& sid)
{
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(const_cast<BYTE*>(sid.data()), &text))
        return std::wstring();
    LocalMemory memory(text);
    return text;
}

// The DACL of an SDDL text in which "U" stands for the current user; null
// for a missing DACL.
LocalMemory DescriptorOf(std::wstring sddl, PACL& dacl)
{
    for (size_t at = sddl.find(L";U)"); at != std::wstring::npos; at = sddl.find(L";U)"))
        sddl.replace(at + 1, 1, SidText(CurrentUserSid()));
    PSECURITY_DESCRIPTOR raw = nullptr;
    EXPECT_TRUE(
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &raw, nullptr))
        << ::GetLastError();
    LocalMemory descriptor(raw);
    BOOL present = FALSE, defaulted = FALSE;
    dacl = nullptr;
    if (raw)
        ::GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    return descriptor;
}

// What another account's folder could be: everyone may do everything.
void OpenToEveryone(const std::wstring& path)
{
    PACL dacl = nullptr;
    LocalMemory descriptor = DescriptorOf(L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;SY)(A;OICI;FA;;;U)", dacl);
    ASSERT_EQ(ERROR_SUCCESS,
              ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr));
}

void Touch(const std::wstring& path)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file) << "cannot make a file in the folder";
}

SidBytes SidOf(const wchar_t* text)
{
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(text, &sid))
        return SidBytes();
    LocalMemory memory(sid);
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return SidBytes(bytes, bytes + ::GetLengthSid(sid));
}
} // namespace

TEST(FolderSecurity, OnlyTheUserTheSystemAndTheAdministratorsAreTrusted)
{
    const SidBytes user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    const struct
    {
        const wchar_t* dacl;
        bool othersMay;
    } cases[] = {
        {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;U)", false}, // a user's own temporary folder
        {L"D:(A;OICI;FA;;;U)(A;OICI;0x1200a9;;;WD)", false},            // everyone reads and lists only
        {L"D:(A;OICIIO;FA;;;CO)(A;;FA;;;SY)", false},                   // passed on to what is created only
        {L"D:(D;;FA;;;WD)(A;;FA;;;SY)", false},                         // a denial grants nothing
        {L"D:(A;;0x100006;;;BU)(A;;FA;;;SY)", true}, // the system's: users create files and folders
        {L"D:(A;;0x40000;;;AU)", true},              // may rewrite the DACL
        {L"D:(A;;GA;;;S-1-5-21-1-2-3-1001)", true},  // another account
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.dacl)));
        PACL dacl = nullptr;
        LocalMemory descriptor = DescriptorOf(c.dacl, dacl);
        EXPECT_EQ(c.othersMay, OthersMayCreateIn(dacl, user));
    }
    EXPECT_TRUE(OthersMayCreateIn(nullptr, user)) << "no DACL at all lets everyone in";
    EXPECT_TRUE(IsTrustedSid(const_cast<BYTE*>(user.data()), user));
    for (const wchar_t* trusted : {L"S-1-5-18", L"S-1-5-32-544"})
        EXPECT_TRUE(IsTrustedSid(SidOf(trusted).data(), user)) << trusted;
    for (const wchar_t* other : {L"S-1-5-21-1-2-3-1001", L"S-1-1-0", L"S-1-5-32-545"})
        EXPECT_FALSE(IsTrustedSid(SidOf(other).data(), user)) << other;
}

TEST(FolderSecurity, TellsAFolderOthersMayWriteToFromOneTheyMayNot)
{
    TempDir temp(L"qvx-folders-");
    const SidBytes user = CurrentUserSid();
    const std::wstring open = temp.Path() + L"open", own = temp.Path() + L"own";
    ASSERT_TRUE(::CreateDirectoryW(open.c_str(), nullptr));
    OpenToEveryone(open);
    ASSERT_TRUE(CreatePrivateFolder(own, user));
    EXPECT_FALSE(IsPrivateFolder(open, user));
    EXPECT_TRUE(IsPrivateFolder(own, user));
    EXPECT_FALSE(CreatePrivateFolder(own, user)) << "it exists already";
    EXPECT_TRUE(RemoveEntry(open));
    EXPECT_TRUE(RemoveEntry(own));
}

TEST(WorkingFolder, APrivateSubfolderOnlyWhereOthersMayWriteAndNothingTheyLeftThere)
{
    TempDir temp(L"qvx-working-");
    const SidBytes user = CurrentUserSid();
    WorkingFolderChoice choice = ChooseWorkingFolder(temp.Path());
    EXPECT_EQ(temp.Path(), choice.folder) << "a private temporary folder is used as it is";
    EXPECT_TRUE(choice.notes.empty());

    // A subfolder another account made, with a partial package in it.
    const std::wstring sub = temp.Path() + kPrivateSubfolderName;
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    OpenToEveryone(sub);
    ASSERT_TRUE(::CreateDirectoryW((sub + L"\\nested").c_str(), nullptr));
    Touch(sub + L"\\nested\\QoraSetup.exe.downloading");
    OpenToEveryone(temp.Path().substr(0, temp.Path().size() - 1));

    choice = ChooseWorkingFolder(temp.Path());
    EXPECT_EQ(sub + L"\\", choice.folder);
    EXPECT_TRUE(IsPrivateFolder(sub, user));
    EXPECT_FALSE(FileExists(sub + L"\\nested\\QoraSetup.exe.downloading"));
    EXPECT_EQ(2u, choice.notes.size()) << "where it works, and what it removed";

    // What an earlier run left in its own subfolder stays.
    Touch(sub + L"\\QoraSetup.exe.downloading");
    EXPECT_EQ(sub + L"\\", ChooseWorkingFolder(temp.Path()).folder);
    EXPECT_TRUE(FileExists(sub + L"\\QoraSetup.exe.downloading"));
    EXPECT_TRUE(RemoveEntry(sub));
}
