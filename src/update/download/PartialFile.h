#pragma once
// The partial package file while it grows: written by this program alone
// (others may read or remove it, never write it), and, once complete,
// renamed and handed on closed to writers and to removal.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/ScopedHandle.h"

class PartialFile
{
  public:
    explicit PartialFile(std::wstring path) : m_path(std::move(path)) {}

    const std::wstring& Path() const { return m_path; }
    bool IsOpen() const { return static_cast<bool>(m_file); }
    HANDLE Handle() const { return m_file.Get(); }

    // Opens the file, keeping its first `keep` bytes (0: created or emptied),
    // and puts the writing position after them. True when it is already open.
    bool Open(uint64_t keep);
    bool Truncate();
    // False, with the platform's error as the last error, when not all of
    // it could be written.
    bool Write(const char* data, DWORD size);
    // Puts everything written so far on the disk.
    bool Flush() { return m_file && ::FlushFileBuffers(m_file.Get()); }
    // Passes the first `length` bytes to `sink`, then goes back to the end.
    bool ReadBack(uint64_t length, const std::function<void(const char*, DWORD)>& sink);
    void Close() { m_file.Reset(); }

    // Renames the open file to `finalPath` (replacing what is there) without
    // ever letting go of it, then trades the writing handle for one that
    // only reads and still shares neither writing nor deleting: the installer
    // can be started from it, and nobody can change it meanwhile. The file is
    // reopened in between (a writer's handle keeps a program from being
    // started); its identity, size and time are compared across the
    // reopening. False, with the system's error set, when anything fails;
    // when another program holds the file (IsHeldFileError) the call may be
    // made again and goes on from the step that failed. A target that
    // another program holds open refuses to be replaced with "access
    // denied" (measured under Wine, and so on Windows): that is reported
    // as the sharing violation it is.
    bool RenameAndHold(const std::wstring& finalPath, FileHandle& held);

  private:
    std::wstring m_path;
    FileHandle m_file;
    bool m_renamed = false;
    BY_HANDLE_FILE_INFORMATION m_named{}; // the file as it was named
};
