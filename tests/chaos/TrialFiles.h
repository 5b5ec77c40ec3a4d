#pragma once
// The files a chaos trial prepares and reads back, and the text of them.

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace chaos
{
std::string Utf8(const std::wstring& text);
// Where the wizard keeps its update record in this prefix.
std::wstring SettingsFolder();
// The names in a folder: its files, and its folders.
void ListFolder(const std::wstring& folder, std::vector<std::wstring>& files,
                std::vector<std::wstring>& folders);
// Every file of a folder: name, bytes.
std::map<std::string, std::string> FilesIn(const std::wstring& folder);
// Empties a folder, its folders included.
void EmptyFolder(const std::wstring& folder);
std::vector<std::string> Lines(const std::string& text);
// Bytes of a file from `offset` to its end.
std::string ReadFrom(const std::wstring& path, unsigned long long offset);
// 0 when the file is not there.
uint64_t FileSize(const std::wstring& path);
} // namespace chaos
