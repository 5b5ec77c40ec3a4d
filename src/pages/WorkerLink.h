#pragma once
// What a page's worker thread may reach of the user interface: the frame's
// and the page's controls' windows, never the page object itself, so that a
// page destroyed after a confirmed Cancel can go while its worker still runs.

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "framework/ScopedHandle.h"

class WorkerLink
{
  public:
    WorkerLink(HWND hFrame, HWND hProgress, HWND hStatus = nullptr);

    // The page is going: from now on the worker reports nothing and starts
    // nothing; the worker's abandon hook runs first.
    void Abandon();
    // What the worker asks to be done when the wizard is abandoned, under the
    // same exclusion as RunUnlessAbandoned, before anything is settled; an
    // empty function withdraws it, and once that call has returned it no
    // longer runs.
    void SetAbandonHook(std::function<void()> hook);
    // The user has confirmed Cancel: as Abandon, unless the worker has
    // already begun the installation, which must then run to its end; false
    // in that case, and nothing changes. Otherwise `settle` runs before the
    // worker can make another change (see RunUnlessAbandoned).
    template <typename Fn> bool TryAbandon(Fn&& settle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_installing)
            return false;
        MarkAbandoned();
        settle();
        return true;
    }
    bool IsAbandoned() const { return m_abandoned; }
    // The worker's claim to go on to the installation, made when `ready`
    // (run under the claim) returns true; false once abandoned. After a
    // successful claim, TryAbandon no longer stops it.
    template <typename Fn> bool TryBeginInstall(Fn&& ready)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_abandoned || !ready())
            return false;
        m_installing = true;
        return true;
    }
    // Runs `write` unless the wizard has been abandoned, holding off any
    // abandonment until it is done: whatever the frame removes when it ends
    // is then removed after the write, never before. False when abandoned.
    template <typename Fn> bool RunUnlessAbandoned(Fn&& write)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_abandoned)
            return false;
        write();
        return true;
    }
    // Waits `ms` milliseconds; false at once when the wizard is abandoned.
    bool Wait(DWORD ms) const;

    HWND Frame() const { return m_hFrame; }

    // All are sent synchronously, so the worker waits for the user
    // interface. Once the page is gone they do nothing; a window that
    // disappears between the check and the send only makes the send fail.
    LRESULT SendToFrame(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SetProgress(int position) const;
    void SetStatusText(const std::wstring& text) const;

  private:
    void MarkAbandoned(); // with m_lock held: runs the hook once

    HWND m_hFrame;
    HWND m_hProgress;
    HWND m_hStatus;
    KernelHandle m_abandonedEvent;
    std::atomic<bool> m_abandoned{false};
    std::mutex m_lock;
    bool m_installing = false;
    std::function<void()> m_abandonHook;
};
