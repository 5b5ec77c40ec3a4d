#include "support/WorkingFolder.h"

#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>

#include <cstdio>

#include "support/FolderSecurity.h"
#include "support/Files.h"
#include "support/WideText.h"

const wchar_t kPrivateSubfolderName[] = L"QVXLiveUpdate";

namespace
{
// Tries at making the subfolder: what stands in its place is renamed aside
// each time.
const int kMakeTries = 3;

// A folder given with its trailing backslash, as the file system names it:
// without the backslash, except at a drive's root, where "C:" would name the
// drive's current folder.
std::wstring FolderItself(const std::wstring& folder)
{
    return folder.size() > 3 ? folder.substr(0, folder.size() - 1) : folder;
}

bool IsPrivatePlace(const std::wstring& folder, const SidBytes& user)
{
    return !folder.empty() && IsPrivateFolder(FolderItself(folder), user);
}

// Sixteen hex digits nobody can guess: the name of a folder made for one
// run need not be taken first by anybody, wherever it is made.
std::wstring RandomSuffix()
{
    unsigned char bytes[8] = {};
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    {
        const ULONGLONG mixed = ::GetTickCount64() * 2654435761u ^ ::GetCurrentProcessId();
        for (size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(mixed >> (8 * i));
    }
    wchar_t text[2 * sizeof bytes + 1] = {};
    for (size_t i = 0; i < sizeof bytes; ++i)
        std::swprintf(text + 2 * i, 3, L"%02x", bytes[i]);
    return text;
}

// What stands under the subfolder's name is not the program's own: a rename
// of the name itself moves it, a link as a link, without looking inside, so
// that nothing in it is ever listed, opened or removed.
bool MoveAside(const std::wstring& path, std::vector<std::wstring>& notes)
{
    const std::wstring aside = path + L".untrusted-" + RandomSuffix();
    const bool moved = ::MoveFileExW(path.c_str(), aside.c_str(), 0) != FALSE;
    notes.push_back(L"\"" + path + L"\" is not a private folder of a trusted owner: " +
                    (moved ? L"renamed to \"" + aside + L"\""
                           : L"it cannot be renamed, error " + std::to_wstring(::GetLastError())));
    return moved;
}
} // namespace

WorkingFolderPlaces PlacesOfThisAccount()
{
    WorkingFolderPlaces places;
    places.temporary = TemporaryFolder();
    const SidBytes user = CurrentUserSid();
    // Looked up: Windows 7 has no such function, nor do many Windows 10.
    using GetTempPath2Fn = DWORD(WINAPI*)(DWORD, LPWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto getTempPath2 = reinterpret_cast<GetTempPath2Fn>(
        reinterpret_cast<void*>(kernel ? ::GetProcAddress(kernel, "GetTempPath2W") : nullptr));
    if (getTempPath2 && !user.empty() && ::IsWellKnownSid(const_cast<BYTE*>(user.data()), WinLocalSystemSid))
    {
        wchar_t folder[MAX_PATH + 1] = {};
        const DWORD length = getTempPath2(MAX_PATH + 1, folder);
        if (length > 0 && length <= MAX_PATH)
            places.systemTemporary = TextOfBuffer(folder, MAX_PATH + 1);
    }
    wchar_t local[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                     SHGFP_TYPE_CURRENT, local)))
    {
        places.localAppData = TextOfBuffer(local, MAX_PATH);
        if (!places.localAppData.empty() && places.localAppData.back() != L'\\')
            places.localAppData += L'\\';
    }
    return places;
}

WorkingFolderChoice ChooseWorkingFolder(const WorkingFolderPlaces& places)
{
    WorkingFolderChoice choice;
    const SidBytes user = CurrentUserSid();
    if (IsPrivatePlace(places.temporary, user))
    {
        choice.folder = places.temporary;
        return choice;
    }
    choice.notes.push_back(L"the temporary folder \"" + places.temporary +
                           L"\" lets other accounts create files: not used");
    if (IsPrivatePlace(places.systemTemporary, user))
    {
        choice.folder = places.systemTemporary;
        choice.notes.push_back(L"working in the system's own temporary folder \"" + choice.folder + L"\"");
        return choice;
    }
    if (!IsPrivatePlace(places.localAppData, user))
    {
        choice.notes.push_back(L"the local application data \"" + places.localAppData +
                               L"\" is not a private folder: no working folder");
        return choice;
    }
    const std::wstring path = places.localAppData + kPrivateSubfolderName;
    for (int tries = 0; tries < kMakeTries; ++tries)
    {
        bool made = CreatePrivateFolder(path, user);
        const DWORD error = ::GetLastError();
        made = made || (error == ERROR_ALREADY_EXISTS && IsPrivateFolder(path, user));
        if (made)
        {
            choice.folder = path + L"\\";
            choice.notes.push_back(L"working in \"" + choice.folder + L"\"");
            return choice;
        }
        if (error != ERROR_ALREADY_EXISTS || !MoveAside(path, choice.notes))
            break;
    }
    const std::wstring fresh = path + L"-" + RandomSuffix();
    if (CreatePrivateFolder(fresh, user))
    {
        choice.folder = fresh + L"\\";
        choice.notes.push_back(L"working in \"" + choice.folder + L"\" for this run");
        return choice;
    }
    choice.notes.push_back(L"no private working folder could be made, error " +
                           std::to_wstring(::GetLastError()));
    return choice;
}

const WorkingFolderChoice& TheWorkingFolder()
{
    static const WorkingFolderChoice choice = ChooseWorkingFolder(PlacesOfThisAccount());
    return choice;
}

std::wstring WorkingFolder()
{
    return TheWorkingFolder().folder;
}
