#pragma once
// The fixture that starts the wizard in a working folder of its own, against
// the fault server, and cleans up after it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/Files.h"
#include "harness/Machine.h"
#include "harness/Process.h"
#include "harness/Servers.h"
#include "harness/Window.h"

namespace e2e
{
// The cases are written in the harness's words.
using namespace harness;

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
    // Expects the wizard to end at once, cleanly, its settings file gone.
    void ExpectEndsPromptly();
    // Presses Cancel and answers Yes to its question.
    void CancelAndConfirm();
    // The client stand-in run from the working folder under this name, until
    // the case ends; the install step asks to close it.
    Process& StartClient(const std::wstring& exeName);

    FaultServer m_server;
    std::wstring m_exe = WizardExePath();
    // Removed after the programs started from it have gone.
    TempDir m_work{L"qvx-e2e-"};
    const std::wstring m_workFolder = m_work.Path().substr(0, m_work.Path().size() - 1);
    Process m_wizard;
    HWND m_frame = nullptr;
    std::vector<std::unique_ptr<Process>> m_clients;
};
} // namespace e2e
