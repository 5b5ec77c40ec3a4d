#pragma once
// Files and folders as the tests prepare and read them back: their bytes,
// lines and sizes, folders of a test's own, and the texts of their names.

#include <windows.h>

#include <string>
#include <vector>

namespace harness
{
// UTF-8 as UTF-16, and back.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);
// A Linux path as this program sees it under Wine.
std::wstring WinePath(const std::string& linuxPath);

// The temporary folder (the wizard downloads into it), with a trailing
// backslash.
std::wstring TempFolder();
bool FileExists(const std::wstring& path);
// The size of a file, or -1 when it cannot be read.
long long FileSize(const std::wstring& path);
// The file's bytes from `offset` to its end; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path, unsigned long long offset = 0);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The text's lines, without their line ends (LF or CR LF).
std::vector<std::string> Lines(const std::string& text);

// The names in a folder: its files, and its folders.
void ListFolder(const std::wstring& folder, std::vector<std::wstring>& files,
                std::vector<std::wstring>& folders);
// Empties a folder, its folders included.
void EmptyFolder(const std::wstring& folder);

// A folder of its own under the temporary folder, emptied and removed at the
// end, with the folders inside.
class TempDir
{
  public:
    explicit TempDir(const std::wstring& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With its trailing backslash.
    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
};
} // namespace harness
