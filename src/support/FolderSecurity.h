#pragma once
// Who may put files where the program keeps its own: the accounts a folder's
// owner and DACL let in. Trusted are the account the program runs as, the
// local system account and the Administrators group; anyone else who may
// create a file where a package is downloaded may plant or change what is
// later run.

#include <windows.h>

#include <string>
#include <vector>

#include "framework/ScopedHandle.h"

// A SID as bytes, valid while the vector lives.
using SidBytes = std::vector<BYTE>;

// The account of the process's token; empty when the token cannot be read.
SidBytes CurrentUserSid();

// True for `user` itself, the local system account and the Administrators
// group.
bool IsTrustedSid(PSID sid, const SidBytes& user);

// True when an entry of `dacl` that applies to the folder itself lets an
// untrusted account create a file or folder in it, delete what it holds or
// change its security or owner. A missing DACL lets everyone do everything.
// Entries that deny are not weighed and an allowing kind that is not read
// here counts as letting in: the judgement errs towards "others may".
bool OthersMayCreateIn(const ACL* dacl, const SidBytes& user);

// The security of an open file or folder, as far as these judgements need it.
struct ObjectTrust
{
    bool readable = false;     // the owner and DACL could be read
    bool trustedOwner = false; // the owner is trusted
    bool othersMayCreate = true;
    bool isFolder = false; // a folder, and no link or other reparse point
};

// Reads `object`'s owner, DACL and kind. The handle should have been opened
// with READ_CONTROL and without following a reparse point.
ObjectTrust ReadObjectTrust(HANDLE object, const SidBytes& user);

// Opens `path` itself, never what a link there points to, for reading its
// security and attributes; `extraAccess` is added to that.
HANDLE OpenWithoutFollowing(const std::wstring& path, DWORD extraAccess = 0);

// True when `path` is a folder (not a link) with a trusted owner that no
// untrusted account may create anything in.
bool IsPrivateFolder(const std::wstring& path, const SidBytes& user);

// A security descriptor whose protected DACL grants full control to `user`,
// the local system account and the Administrators group only; with
// `inherited`, passed on to everything created inside. Empty when it cannot
// be made.
LocalMemory PrivateDescriptor(const SidBytes& user, bool inherited);

// Creates `path` with PrivateDescriptor(user, true). False (GetLastError
// tells why) when it could not be created, also when it already exists.
bool CreatePrivateFolder(const std::wstring& path, const SidBytes& user);
