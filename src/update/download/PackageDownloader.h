#pragma once
// One run of the package download: the tries, each continuing what the ones
// before it (and an earlier run) left when the server allows it, the partial
// file they fill and its state, and the checks before the package takes its
// name.

#include <windows.h>

#include <cstdint>
#include <cstddef>
#include <string>

#include "framework/HttpFile.h"
#include "framework/ScopedHandle.h"
#include "update/download/PackageDownload.h"
#include "update/download/PackageRequest.h"
#include "update/download/RetryPolicy.h"
#include "update/download/HeldBytes.h"

// The partial file is put on the disk, and its length recorded in the state,
// at least this often while bytes arrive.
constexpr uint64_t kCheckpointBytes = 8 * 1024 * 1024;

class PackageDownloader
{
  public:
    PackageDownloader(const DownloadPlan& plan, PackageVerifier& verifier, DownloadListener& listener);

    DownloadOutcome Run(FileHandle& package);

  private:
    // Takes up an earlier run's bytes when they can still make this package,
    // with the address to continue them at; otherwise they go.
    void PickUpEarlierRun();
    TryOutcome Try(int number);
    TryOutcome Accept(const PackageAnswer& answer, bool askedRange);
    // A 206 that continues the bytes held at their offset.
    TryOutcome AcceptContinuation(const PackageAnswer& answer);
    // The whole package, from its first byte.
    TryOutcome AcceptWhole(const PackageAnswer& answer);
    TryOutcome Transfer(const CHttpFile& file);
    // The worker's checkpoint (HeldBytes::Checkpoint); false once the wizard
    // has been left.
    bool CheckpointNow();
    // Accepted when `needed` bytes fit the free space and the `freed` ones
    // the partial file gives back; otherwise NoSpace, logged, and the
    // listener hears of it.
    TryOutcome UnlessSpaceFor(uint64_t needed, uint64_t freed);
    // What TryEndText says of `outcome` beyond the error of a failed try.
    std::wstring TryEndDetail(TryOutcome outcome, const PackageAnswer& answer) const;
    // The bytes held go, from an earlier run or from another entity; false
    // when the wizard was left meanwhile.
    bool DropHeldBytes();
    // Removes the partial file and its state, which would fill the disk again.
    DownloadOutcome AfterDiskFull();
    // False, with how the run ends in `end`, when the bytes held had to go
    // and could not.
    bool StartOverUnlessContinuable(DownloadOutcome& end);
    DownloadOutcome Finish(FileHandle& package);
    DownloadOutcome GiveUp(DownloadOutcome outcome);

    const DownloadPlan& m_plan;
    PackageVerifier& m_verifier;
    DownloadListener& m_listener;
    HeldBytes m_bytes;
    PackageAddresses m_addresses;
    // The index of the address whose answers the bytes held continue;
    // kNoAddress for one the record no longer names.
    static constexpr size_t kNoAddress = SIZE_MAX;
    size_t m_heldFrom = 0;
    uint64_t m_added = 0; // by the current try
    DWORD m_fileError = 0;
    ULONGLONG m_lastByteAt = 0;
    bool m_tooSlow = false;     // the current try brought too little for too long (PaceFloor)
    bool m_accepted = false;    // an answer of this run has been taken
    bool m_fromEarlier = false; // the bytes held come from an earlier run
};
