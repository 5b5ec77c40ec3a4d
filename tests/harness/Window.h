#pragma once
// Looks at windows from outside, as a user would: finds a program's windows,
// reads their texts and states, presses buttons and keys, answers message
// boxes, and sends the wizard messages its workers send.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace harness
{
// Visible top-level windows of a process (0: any), optionally of one class
// and caption, and of one thread (0: any). The caption is read without a
// message: the thread that owns the window may be busy, and waiting for it
// here could deadlock.
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className = nullptr, const wchar_t* caption = nullptr,
                             DWORD threadId = 0);
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
// The three ways a user leaves the wizard: its Cancel button (control
// `cancelId`), Esc, or the frame's close box.
enum class CancelWay
{
    Button,
    Escape,
    CloseBox,
};
void PressCancel(HWND hFrame, int cancelId, CancelWay way);
// Sends a wizard message synchronously, as the workers do.
LRESULT SendWizardMessage(HWND hFrame, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// A message box of the process with that caption; its text; its buttons.
HWND WaitForMessageBox(DWORD pid, const wchar_t* caption, DWORD timeoutMs = 10000);
std::wstring MessageBoxText(HWND hBox);
void AnswerMessageBox(HWND hBox, int buttonId);

// Waits, on a thread of its own, for a message box of `threadId` with that
// caption, keeps its text and presses OK on it.
class MessageBoxAnswerer
{
  public:
    MessageBoxAnswerer(DWORD threadId, const std::wstring& caption);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // Empty when no box came.
    std::wstring Text();

  private:
    std::atomic<bool> m_stop{false};
    std::wstring m_text;
    std::thread m_thread;
};

// A window's device context (the screen's for null), given back at the end.
class WindowDC
{
  public:
    explicit WindowDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~WindowDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return m_hDC; }

  private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Saves the screen as a bitmap file; used when a case fails.
bool SaveScreenshot(const std::wstring& path);
} // namespace harness
