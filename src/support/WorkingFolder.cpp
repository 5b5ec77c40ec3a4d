#include "support/WorkingFolder.h"

#include "framework/ScopedHandle.h"
#include "support/FolderSecurity.h"
#include "support/Files.h"

const wchar_t kPrivateSubfolderName[] = L"QVXLiveUpdate";

namespace
{
// Tries at making the subfolder: another account may put a new one in its
// place between two of them.
const int kMakeTries = 3;

// Removes every entry of `folder` whose owner is not trusted; false when one
// of them stays.
bool RemoveUntrustedEntries(const std::wstring& folder, const SidBytes& user,
                            std::vector<std::wstring>& notes)
{
    WIN32_FIND_DATAW found{};
    FindHandle find(::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
    if (!find)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool clean = true;
    do
    {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + name;
        FileHandle entry(OpenWithoutFollowing(path));
        if (entry && ReadObjectTrust(entry.Get(), user).trustedOwner)
            continue;
        entry.Reset();
        const bool removed = RemoveEntry(path);
        notes.push_back(L"\"" + name + L"\" has an untrusted owner: " +
                        (removed ? L"removed" : L"could not be removed"));
        clean = clean && removed;
    } while (::FindNextFileW(find.Get(), &found));
    return clean;
}

// Takes what stands under the subfolder's name away: removed, or moved to a
// name of its own when it cannot be removed.
bool ClearName(const std::wstring& path, std::vector<std::wstring>& notes)
{
    if (RemoveEntry(path))
    {
        notes.push_back(L"the existing \"" + std::wstring(kPrivateSubfolderName) +
                        L"\" was not private and was removed");
        return true;
    }
    const std::wstring aside = path + L".untrusted-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                               std::to_wstring(::GetTickCount64());
    const bool moved = ::MoveFileExW(path.c_str(), aside.c_str(), 0) != FALSE;
    notes.push_back(
        L"the existing \"" + std::wstring(kPrivateSubfolderName) + L"\" was not private" +
        (moved ? L" and could not be removed; moved to \"" + aside + L"\""
               : L"; it could neither be removed nor moved, error " + std::to_wstring(::GetLastError())));
    return moved;
}
} // namespace

WorkingFolderChoice ChooseWorkingFolder(const std::wstring& temporaryFolder)
{
    WorkingFolderChoice choice;
    if (temporaryFolder.empty())
        return choice;
    const SidBytes user = CurrentUserSid();
    // The folder itself: without its trailing backslash, except at a drive's
    // root, where "C:" would name the drive's current folder.
    const std::wstring self =
        temporaryFolder.size() > 3 ? temporaryFolder.substr(0, temporaryFolder.size() - 1) : temporaryFolder;
    if (IsPrivateFolder(self, user))
    {
        choice.folder = temporaryFolder;
        return choice;
    }
    const std::wstring path = temporaryFolder + kPrivateSubfolderName;
    choice.notes.push_back(L"the temporary folder " + temporaryFolder +
                           L" lets other accounts create files: working in " + path);
    DWORD error = 0;
    for (int tries = 0; tries < kMakeTries; ++tries)
    {
        if (CreatePrivateFolder(path, user))
        {
            choice.folder = path + L"\\";
            return choice;
        }
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            break;
        if (IsPrivateFolder(path, user) && RemoveUntrustedEntries(path + L"\\", user, choice.notes))
        {
            choice.folder = path + L"\\";
            return choice;
        }
        if (!ClearName(path, choice.notes))
            break;
    }
    choice.notes.push_back(L"no private working folder could be made (error " + std::to_wstring(error) +
                           L")");
    return choice;
}

const WorkingFolderChoice& TheWorkingFolder()
{
    static const WorkingFolderChoice choice = ChooseWorkingFolder(TemporaryFolder());
    return choice;
}

std::wstring WorkingFolder()
{
    return TheWorkingFolder().folder;
}
