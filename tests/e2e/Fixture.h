#pragma once
// The test environment the wizard reads: the settings file, the installed
// client's uninstall record, a working folder; and a fixture that starts the
// wizard and cleans up after it.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Harness.h"
#include "Servers.h"

namespace e2e
{
std::wstring IniPath();
void WriteIni(const std::string& bytes);
bool IniExists();
void RemoveIni();

// Replaces the uninstall record by these values (REG_SZ); no values given
// still creates the key.
void SetClientRecord(const std::map<std::wstring, std::wstring>& values);
void RemoveClientRecord();

// An empty folder of the test's own, used as the wizard's current folder.
std::wstring MakeWorkFolder();
void WriteTextFile(const std::wstring& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read.
std::string ReadTextFile(const std::wstring& path);

// ASCII text as UTF-16.
std::wstring Wide(const std::string& text);
// The temporary folder the wizard downloads into, with a trailing backslash.
std::wstring TempFolder();
bool Exists(const std::wstring& path);
// The size of a file, or -1 when it cannot be read.
long long FileSize(const std::wstring& path);
// The fault server's files folder, as this program sees it.
std::wstring ServedFilesFolder();

class WizardTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    // An update record whose package is served slowly enough to keep the
    // Download page up for the whole test.
    std::string SlowRecord() const;

    // Starts the wizard (`m_exe`, the shipped build unless a case names a
    // variant) and waits for its frame.
    void StartWizard();
    // Starts at the Welcome page and presses Next: the check begins.
    void StartAtCheckVersion();
    // Starts at the NewVersion page ("from" = "1") with this record.
    void StartAtNewVersion(const std::string& updateSection);
    // Ends the wizard through Cancel (answering the box if one comes) and
    // expects the process to end.
    void ExpectEndsPromptly();
    // The client stand-in run from the working folder under this name, until
    // the case ends; the install step asks to close it.
    Process& StartClient(const std::wstring& exeName);

    FaultServer m_server;
    std::wstring m_exe = WizardExePath();
    Process m_wizard;
    HWND m_frame = nullptr;
    std::wstring m_workFolder;
    std::vector<std::unique_ptr<Process>> m_clients;
};
} // namespace e2e
