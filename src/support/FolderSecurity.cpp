#include "support/FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include "framework/ScopedHandle.h"

namespace
{
// What lets an account put something into a folder or take over what is
// there: creating files (FILE_ADD_FILE, also FILE_WRITE_DATA) and folders
// (FILE_ADD_SUBDIRECTORY), deleting entries or the folder, rewriting its
// security or owner, and the generic rights that include any of these.
const DWORD kPlantingRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                              WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsDenyingAce(BYTE type)
{
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

} // namespace

SidBytes CurrentUserSid()
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return SidBytes();
    KernelHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!size || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size))
        return SidBytes();
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!::IsValidSid(sid))
        return SidBytes();
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return SidBytes(bytes, bytes + ::GetLengthSid(sid));
}

bool IsTrustedSid(PSID sid, const SidBytes& user)
{
    if (!sid || !::IsValidSid(sid))
        return false;
    if (!user.empty() && ::EqualSid(sid, const_cast<BYTE*>(user.data())))
        return true;
    return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool OthersMayCreateIn(const ACL* dacl, const SidBytes& user)
{
    if (!dacl)
        return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i)
    {
        void* ace = nullptr;
        if (!::GetAce(const_cast<ACL*>(dacl), i, &ace))
            return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Such an entry only passes on to what is created inside.
        if ((header->AceFlags & INHERIT_ONLY_ACE) || IsDenyingAce(header->AceType))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
            return true;
        // The callback kind has the same layout; its condition only narrows it.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kPlantingRights) && !IsTrustedSid(&allowed->SidStart, user))
            return true;
    }
    return false;
}

ObjectTrust ReadObjectTrust(HANDLE object, const SidBytes& user)
{
    ObjectTrust trust;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS)
        return trust;
    LocalMemory descriptor(raw);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(object, &info))
        return trust;
    trust.readable = true;
    trust.trustedOwner = IsTrustedSid(owner, user);
    trust.othersMayCreate = OthersMayCreateIn(dacl, user);
    trust.isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                     !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return trust;
}

HANDLE OpenWithoutFollowing(const std::wstring& path, DWORD extraAccess)
{
    return ::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | extraAccess,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsPrivateFolder(const std::wstring& path, const SidBytes& user)
{
    FileHandle folder(OpenWithoutFollowing(path));
    if (!folder)
        return false;
    const ObjectTrust trust = ReadObjectTrust(folder.Get(), user);
    return trust.readable && trust.isFolder && trust.trustedOwner && !trust.othersMayCreate;
}

LocalMemory PrivateDescriptor(const SidBytes& user, bool inherited)
{
    wchar_t* userText = nullptr;
    if (user.empty() || !::ConvertSidToStringSidW(const_cast<BYTE*>(user.data()), &userText))
        return LocalMemory();
    LocalMemory userTextMemory(userText);
    const std::wstring flags = inherited ? L"OICI" : L"";
    const std::wstring sddl =
        L"D:P(A;" + flags + L";FA;;;SY)(A;" + flags + L";FA;;;BA)(A;" + flags + L";FA;;;" + userText + L")";
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &raw, nullptr))
        return LocalMemory();
    return LocalMemory(raw);
}

bool CreatePrivateFolder(const std::wstring& path, const SidBytes& user)
{
    LocalMemory descriptor = PrivateDescriptor(user, true);
    if (!descriptor)
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}
