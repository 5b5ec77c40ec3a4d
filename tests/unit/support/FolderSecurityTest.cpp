// Who may write to a folder, the working folder chosen by it, and the
// single-instance lock in that folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "framework/ScopedHandle.h"
#include "harness/Files.h"
#include "support/Files.h"
#include "support/FolderSecurity.h"
#include "support/InstanceLock.h"
#include "support/WorkingFolder.h"

using harness::ReadBytes;
using harness::WriteBytes;

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

TEST(WorkingFolder, TheWorkingFolderIsPrivateAndWhatStandsInItsPlaceIsOnlyRenamedAside)
{
    enum Standing
    {
        Nothing,
        Own,
        Foreign,
        AFile,
        HeldForeign
    };
    const struct
    {
        bool privateTemp, systemTemp, privateLocal;
        Standing standing;     // under kPrivateSubfolderName in the local application data
        const wchar_t* chosen; // under the root; null for a fresh folder beside that name
    } cases[] = {
        {true, true, true, Foreign, L"t\\"},
        {false, true, true, Foreign, L"s\\"},
        {false, false, true, Nothing, L"l\\QVXLiveUpdate\\"},
        {false, false, true, Own, L"l\\QVXLiveUpdate\\"},
        {false, false, true, Foreign, L"l\\QVXLiveUpdate\\"},
        {false, false, true, AFile, L"l\\QVXLiveUpdate\\"},
        {false, false, true, HeldForeign, nullptr},
        {false, false, false, Nothing, L""},
    };
    PACL dacl = nullptr;
    LocalMemory everyone = DescriptorOf(L"D:(A;OICI;FA;;;WD)", dacl);
    const SidBytes user = CurrentUserSid();
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        harness::TempDir root(L"qvx-working-");
        const WorkingFolderPlaces places{root.Path() + L"t\\", c.systemTemp ? root.Path() + L"s\\" : L"",
                                         root.Path() + L"l\\"};
        for (const std::wstring& place : {places.temporary, places.systemTemporary, places.localAppData})
            EXPECT_TRUE(place.empty() || CreatePrivateFolder(place, user));
        if (!c.privateTemp)
            ::SetFileSecurityW(places.temporary.c_str(), DACL_SECURITY_INFORMATION, everyone.Get());
        if (!c.privateLocal)
            ::SetFileSecurityW(places.localAppData.c_str(), DACL_SECURITY_INFORMATION, everyone.Get());
        const std::wstring name = places.localAppData + kPrivateSubfolderName, planted = name + L"\\planted";
        if (c.standing == AFile)
            WriteBytes(name, "planted");
        else if (c.standing != Nothing)
        {
            EXPECT_TRUE(c.standing == Own ? CreatePrivateFolder(name, user)
                                          : ::CreateDirectoryW(name.c_str(), nullptr));
            WriteBytes(planted, "planted");
            if (c.standing != Own)
                ::SetFileSecurityW(name.c_str(), DACL_SECURITY_INFORMATION, everyone.Get());
        }
        // A holder without delete sharing: the name cannot be renamed.
        FileHandle held(c.standing == HeldForeign
                            ? ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                            : INVALID_HANDLE_VALUE);

        const WorkingFolderChoice choice = ChooseWorkingFolder(places);
        if (c.chosen)
            EXPECT_EQ(*c.chosen ? root.Path() + c.chosen : L"", choice.folder);
        else
            EXPECT_EQ(name.size() + 18, choice.folder.rfind(name + L"-", 0) == 0 ? choice.folder.size() : 0);
        EXPECT_TRUE(choice.folder.empty() ||
                    IsPrivateFolder(choice.folder.substr(0, choice.folder.size() - 1), user));
        // What another account made is all there, as it was: moved aside
        // whole, or where it stood.
        WIN32_FIND_DATAW found{};
        FindHandle find(::FindFirstFileW((name + L".untrusted-*").c_str(), &found));
        const std::wstring aside = places.localAppData + found.cFileName;
        const bool moved = (c.standing == Foreign || c.standing == AFile) && !c.privateTemp && !c.systemTemp;
        EXPECT_EQ(moved, find.IsValid());
        EXPECT_TRUE(!moved || ReadBytes(c.standing == AFile ? aside : aside + L"\\planted") == "planted");
        EXPECT_EQ(!moved && c.standing != Nothing && c.standing != AFile, ReadBytes(planted) == "planted");
    }
}

TEST(InstanceLock, TheLockIsHeldByOneRunAndGrantsNobodyButTheTrustedAnything)
{
    harness::TempDir dir(L"qvx-lock-");
    DWORD error = 0;
    FileHandle lock = TakeInstanceLock(dir.Path(), error);
    ASSERT_TRUE(lock);
    EXPECT_FALSE(TakeInstanceLock(dir.Path(), error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    const std::wstring path = dir.Path() + kInstanceLockName;
    // Its DACL, read while it is held: every entry names a trusted account.
    FileHandle control(OpenWithoutFollowing(path));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ::GetSecurityInfo(control.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &raw));
    LocalMemory descriptor(raw);
    ASSERT_TRUE(dacl && dacl->AceCount > 0);
    for (DWORD i = 0; i < dacl->AceCount; ++i)
    {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_TRUE(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                    IsTrustedSid(&ace->SidStart, CurrentUserSid()));
    }
    control.Reset();
    lock.Reset();
    EXPECT_FALSE(harness::FileExists(path)) << "removed as its run ends";
    EXPECT_TRUE(TakeInstanceLock(dir.Path(), error));
}
