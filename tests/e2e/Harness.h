#pragma once
// Drives the real QVXLiveUpdate.exe from outside, as a user would: starts it,
// finds its windows, reads their texts and states, presses its buttons and
// keys, and sends the wizard messages its workers send.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e
{
// Polls `condition` every `pollMs` until it holds or `timeoutMs` passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000, DWORD pollMs = 15);

// Folder of the test program, with a trailing backslash.
std::wstring TestProgramFolder();
// The program under test.
std::wstring WizardExePath();

// A started process, terminated when the object goes if it still runs.
class Process
{
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The program's standard output and error go to `outputPath` when one
    // is named, and nowhere otherwise.
    bool Start(const std::wstring& exe, const std::wstring& workDir, const std::wstring& args = L"",
               const std::wstring& outputPath = L"");
    DWORD Id() const { return m_pid; }
    HANDLE Handle() const { return m_process; }
    // True when it ended within the time; `exitCode` then holds its code.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    bool IsRunning() const;
    void Kill();

  private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// Visible top-level windows of a process, optionally of one class and caption.
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className = nullptr, const wchar_t* caption = nullptr);
HWND WaitForTopWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs = 10000);

std::wstring ClassOf(HWND hWnd);
std::wstring TextOf(HWND hWnd);
bool IsVisible(HWND hWnd);
bool IsEnabled(HWND hWnd);
HWND Item(HWND hDlg, int id);

// The wizard frame's window and the page it shows now.
HWND WaitForFrame(DWORD pid, DWORD timeoutMs = 10000);
// The question to close the running client, which the install step asks
// once the package is complete.
HWND WaitForCloseClientQuestion(DWORD pid, DWORD timeoutMs = 30000);
HWND CurrentPage(HWND hFrame);
std::wstring CurrentPageTag(HWND hFrame);
bool WaitForPage(HWND hFrame, const wchar_t* tag, DWORD timeoutMs = 10000);
// Child dialogs (pages) of the frame whose tag is `tag`, shown or not.
int CountPages(HWND hFrame, const wchar_t* tag);
// The first page with that tag, shown or not; null when there is none.
HWND FindPage(HWND hFrame, const wchar_t* tag);
// The page that holds a control with that id (the wizard relabels pages).
HWND FindPageWithItem(HWND hFrame, int id);
// The position of a progress bar.
int ProgressOf(HWND hBar);

// Presses a button the way a click does (posted, so a handler that opens a
// modal box does not block the test).
void Click(HWND hButton);
// A key pressed and released in the window that has the focus in that
// window's thread.
void PressKey(HWND hAnyWindowOfThread, WORD vk);
// The system-menu command, as choosing it or the close box does.
void SystemCommand(HWND hFrame, WPARAM command);
// Sends a wizard message synchronously, as the workers do.
LRESULT SendWizardMessage(HWND hFrame, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// A message box of the process with that caption; its text; its buttons.
HWND WaitForMessageBox(DWORD pid, const wchar_t* caption, DWORD timeoutMs = 10000);
std::wstring MessageBoxText(HWND hBox);
void AnswerMessageBox(HWND hBox, int buttonId);

// Saves the screen as a bitmap file; used when a case fails.
bool SaveScreenshot(const std::wstring& path);
} // namespace e2e
