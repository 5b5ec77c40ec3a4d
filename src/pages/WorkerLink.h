#pragma once
// What a page's worker thread may reach of the user interface: the frame's
// and the progress bar's windows, never the page object itself, so that a
// page destroyed after a confirmed Cancel can go while its worker still runs.

#include <windows.h>

#include <atomic>
#include <mutex>

class WorkerLink
{
  public:
    WorkerLink(HWND hFrame, HWND hProgress) : m_hFrame(hFrame), m_hProgress(hProgress) {}

    // The user has left the wizard or the page is going: from now on the
    // worker reports nothing and starts nothing.
    void Abandon();
    bool IsAbandoned() const { return m_abandoned; }
    // The worker's claim to go on to the installation; false once abandoned.
    // After a successful claim, abandoning no longer stops it.
    bool TryBeginInstall();

    HWND Frame() const { return m_hFrame; }

    // Both are sent synchronously, so the worker waits for the user interface.
    // Once the page is gone they do nothing; a window that disappears between
    // the check and the send only makes the send fail.
    LRESULT SendToFrame(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SetProgress(int position) const;

  private:
    HWND m_hFrame;
    HWND m_hProgress;
    std::atomic<bool> m_abandoned{false};
    std::mutex m_lock;
    bool m_installing = false;
};
