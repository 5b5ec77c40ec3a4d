#pragma once
// The one folder the program keeps its working files in: the partial
// package, its resume state, the package, the run log, the single-instance
// lock and the installer's temporary files. It is the temporary folder when
// that is private to the account. A scheduled task run as the local system
// account gets C:\Windows\Temp, where every user may create files and
// folders; the program then works where only the account, the system and the
// Administrators may create anything, and never looks inside a folder that
// another account may have made or filled: listing, opening or removing what
// is in one follows whatever links that account puts there.

#include <string>
#include <vector>

// The subfolder's name.
extern const wchar_t kPrivateSubfolderName[];

// Where the working folder may be, each with its trailing backslash.
struct WorkingFolderPlaces
{
    std::wstring temporary;
    // The local system account's own temporary folder, which only it and the
    // Administrators may use (C:\Windows\SystemTemp); empty for any other
    // account, and where Windows has none.
    std::wstring systemTemporary;
    // The account's local application data.
    std::wstring localAppData;
};

// The places of this process's account, as the system gives them.
WorkingFolderPlaces PlacesOfThisAccount();

struct WorkingFolderChoice
{
    // With its trailing backslash; empty when no safe folder could be made.
    std::wstring folder;
    // What was found and done on the way, for the log.
    std::vector<std::wstring> notes;
};

// The first of these that no untrusted account may create anything in:
// `temporary`; `systemTemporary`; or, in `localAppData` when that is such a
// folder, its subfolder kPrivateSubfolderName, created with a DACL that
// grants only the account, the system and the Administrators. What stands
// under that name and is not such a folder (of a trusted owner, no link) is
// renamed aside as it is, in one step, its content untouched; when it cannot
// be, a new private folder of a random name serves this run.
WorkingFolderChoice ChooseWorkingFolder(const WorkingFolderPlaces& places);

// ChooseWorkingFolder of PlacesOfThisAccount(), made on the first call and
// the same for the rest of the process.
const WorkingFolderChoice& TheWorkingFolder();
// Its folder.
std::wstring WorkingFolder();
