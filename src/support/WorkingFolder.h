#pragma once
// The one folder the program keeps its working files in: the partial
// package, its resume state, the package and the run log. It is the
// temporary folder when that is private to the account; a scheduled task run
// as the local system account gets one every user may write to, and then
// works in a subfolder that only the account, the system and the
// Administrators may touch.

#include <string>
#include <vector>

// The subfolder's name.
extern const wchar_t kPrivateSubfolderName[];

struct WorkingFolderChoice
{
    // With its trailing backslash; empty when no safe folder could be made.
    std::wstring folder;
    // What was found and done on the way, for the log.
    std::vector<std::wstring> notes;
};

// `temporaryFolder` (with its trailing backslash) when no untrusted account
// may create anything in it. Otherwise its subfolder kPrivateSubfolderName,
// created with a DACL that grants only the account, the system and the
// Administrators; an existing one is used only when it is such a folder
// (no link) of a trusted owner, after every entry in it whose owner is not
// trusted has been removed, and is removed (or, failing that, renamed aside)
// and made again otherwise.
WorkingFolderChoice ChooseWorkingFolder(const std::wstring& temporaryFolder);

// ChooseWorkingFolder of the system's temporary folder, made on the first
// call and the same for the rest of the process.
const WorkingFolderChoice& TheWorkingFolder();
// Its folder.
std::wstring WorkingFolder();
