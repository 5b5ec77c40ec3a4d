#pragma once
// What the user sees of a running download: the bar, the line of bytes,
// speed and time left under it, and the taskbar button. Runs on the download
// worker's thread and reaches the page only through its WorkerLink.

#include <windows.h>

#include "pages/WorkerLink.h"
#include "pages/TaskbarProgress.h"
#include "pages/TransferMeter.h"
#include "update/download/PackageDownload.h"

class DownloadProgress : public DownloadListener
{
  public:
    // Shortest time between two moves of the bar: faster than the eye
    // follows, and each move waits for the user-interface thread (about 2 ms
    // under some systems), which one move per block would make the
    // transfer's bottleneck.
    static constexpr ULONGLONG kBarIntervalMs = 40;
    // Shortest time between two changes of the status line: readable.
    static constexpr ULONGLONG kTextIntervalMs = 250;
    // How long the line says that an earlier run is being continued.
    static constexpr ULONGLONG kResumedNoticeMs = 2000;
    static constexpr ULONGLONG kSampleIntervalMs = 100;

    // COM must be initialised on the calling thread for the taskbar.
    explicit DownloadProgress(WorkerLink& link);

    bool OnBytes(uint64_t held, uint64_t total) override;
    bool OnRetryWait(DWORD waitMs, int retry, int retries) override;
    void OnResumed(uint64_t held, uint64_t total) override;
    bool ChangeFiles(const std::function<void()>& change) override;
    bool ClaimPackage(const std::function<bool()>& takeName) override;
    void SetCancelCheckpoint(std::function<void()> checkpoint) override;
    void OnNoSpace(uint64_t needed, uint64_t available) override;
    // What OnNoSpace heard: the bytes still needed and those available.
    uint64_t BytesNeeded() const { return m_needed; }
    uint64_t BytesAvailable() const { return m_available; }
    void OnAddress(const std::wstring& address, size_t index) override;
    bool Pause(DWORD ms) override;
    // The download has failed: the taskbar says so.
    void ShowFailure() const;

  private:
    // The status line, under the mirror's name while a mirror serves.
    void ShowStatus(const std::wstring& text) const;

    WorkerLink& m_link;
    TaskbarProgress m_taskbar;
    TransferMeter m_meter;
    int m_shownPosition = -1;
    ULONGLONG m_barShownAt = 0;
    ULONGLONG m_textShownAt = 0;
    ULONGLONG m_sampledAt = 0;
    ULONGLONG m_quietUntil = 0; // the resumed notice stays until then
    uint64_t m_lastHeld = 0;
    uint64_t m_lastTotal = 0;
    uint64_t m_needed = 0;
    uint64_t m_available = 0;
    std::wstring m_mirrorLine; // empty while the record's own address serves
};
