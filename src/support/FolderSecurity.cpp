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

// Deeper trees are not removed: no folder of this program nests at all.
const int kMaxRemoveDepth = 32;

bool IsDenyingAce(BYTE type)
{
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

bool RemoveEntryAt(const std::wstring& path, int depth);

// Removes the entries of the folder at `path`, which the caller holds open.
bool RemoveEntriesOf(const std::wstring& path, int depth)
{
    WIN32_FIND_DATAW found{};
    FindHandle find(::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
    if (!find)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool removed = true;
    do
    {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            removed = RemoveEntryAt(path + L"\\" + name, depth + 1) && removed;
    } while (::FindNextFileW(find.Get(), &found));
    return removed;
}

bool RemoveEntryAt(const std::wstring& path, int depth)
{
    DWORD attributes = 0;
    {
        // Held without delete sharing while its entries go: nobody can rename
        // it and put a link to another place under its name meanwhile.
        FileHandle entry(OpenWithoutFollowing(path));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!entry || !::GetFileInformationByHandle(entry.Get(), &info))
            return false;
        attributes = info.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            (depth >= kMaxRemoveDepth || !RemoveEntriesOf(path, depth)))
            return false;
    }
    // By name, which removes a link itself and never what it points to; the
    // folders above are still held.
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str()) != FALSE
                                                   : ::DeleteFileW(path.c_str()) != FALSE;
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

bool CreatePrivateFolder(const std::wstring& path, const SidBytes& user)
{
    wchar_t* userText = nullptr;
    if (user.empty() || !::ConvertSidToStringSidW(const_cast<BYTE*>(user.data()), &userText))
        return false;
    LocalMemory userTextMemory(userText);
    const std::wstring sddl =
        std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + userText + L")";
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &raw, nullptr))
        return false;
    LocalMemory descriptor(raw);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, raw, FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

bool RemoveEntry(const std::wstring& path)
{
    return RemoveEntryAt(path, 0);
}
