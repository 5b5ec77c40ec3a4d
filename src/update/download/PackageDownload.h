#pragma once
// The package download: how far along it is, and the transfer itself, which
// survives real networks. A transfer that is cut, reset or stalls is tried
// again, continuing where it stopped when the server allows it; a run that
// ends without the whole package leaves its bytes for the next run.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/ScopedHandle.h"
#include "update/download/DownloadPlan.h"

enum class DownloadOutcome
{
    Complete,         // the whole package is at the plan's packagePath
    CannotCreateFile, // the partial file could not be made or opened, or not named at all
    Failed,           // anything else, once the tries are spent
    Rejected,         // the package is not the one the record names: nothing of it is kept
    Abandoned,        // the listener asked to stop
    ClockWrong,       // a certificate's dates failed while this machine's clock is off the server's
    Blocked,          // the checked package was held beyond every retry, or removed, by another program
    NoSpace,          // the package does not fit the folder's disk (the listener heard by how much)
};

// What the download tells the page while it runs. The calls come from the
// download's thread; those returning bool return false when the wizard has
// been left, which stops the download at once.
class DownloadListener
{
  public:
    virtual ~DownloadListener() = default;
    // `held` of `total` bytes are in the partial file: after every block,
    // and whenever the count starts again.
    virtual bool OnBytes(uint64_t held, uint64_t total) = 0;
    // Waits `waitMs` before retry `retry` of `retries`.
    virtual bool OnRetryWait(DWORD waitMs, int retry, int retries) = 0;
    // The download continues what an earlier run left.
    virtual void OnResumed(uint64_t held, uint64_t total) = 0;
    // Runs `change`, a change to which of the download's files exist or to
    // what they hold beyond new bytes at the end (creating, emptying, the
    // state file, removing), unless the wizard has been left; a confirmed
    // Cancel never falls inside one, so what it finds on disk is whole.
    // False, without running `change`, once the wizard has been left.
    virtual bool ChangeFiles(const std::function<void()>& change) = 0;
    // What a confirmed Cancel runs, excluded from ChangeFiles like it, before
    // it settles what stays on disk: the download records the bytes it holds
    // (flushed) for the next run. An empty function withdraws it; once that
    // call returns, the checkpoint no longer runs.
    virtual void SetCancelCheckpoint(std::function<void()> checkpoint) { (void)checkpoint; }
    // The package needs `needed` more bytes than the `available` ones of
    // the disk that holds the temporary folder; the run ends as NoSpace.
    virtual void OnNoSpace(uint64_t needed, uint64_t available)
    {
        (void)needed;
        (void)available;
    }
    // The checked package takes its name: `takeName` runs unless the wizard
    // has been left, and when it succeeds the installation is claimed in the
    // same step, so that no Cancel can end the wizard between the two.
    virtual bool ClaimPackage(const std::function<bool()>& takeName) = 0;
    // The tries go to `address` from now on, the `index`th of the package's
    // addresses (0: the record's own, then its mirrors).
    virtual void OnAddress(const std::wstring& address, size_t index)
    {
        (void)address;
        (void)index;
    }
    // Waits `ms` before a step is tried again; false, at once, when the
    // wizard has been left.
    virtual bool Pause(DWORD ms)
    {
        ::Sleep(ms);
        return true;
    }
};

// One buffer, which each read fills with what has come, up to its size, and
// which is written at once. At full speed each read costs calls into the
// system whatever its size (under Wine two requests to its server): reads
// of 8 KiB held a download to a tenth of what the network gives on loopback.
constexpr DWORD kDownloadBlockBytes = 1024 * 1024;

// Downloads the plan's package into the partial file, trying its address
// and then its mirrors in turn (a try that fails for the network or the
// server, or is answered with a package of another size than the record's,
// moves to the next one), passing every byte to the plan's verifier,
// and moves it to the package path once exactly the package's length has
// arrived and the verifier accepts it (retrying while another program holds
// it, see kHeldFileRetryMs); nothing incomplete or refused is ever under the
// package's name. On Complete,
// `package` holds the package open for reading with neither write nor delete
// shared, so that what was verified is what runs. When the run ends without
// the whole package, the partial file and its state file stay for the next
// run if the server named a validator; otherwise they are removed. The tries
// follow RetryPolicy. Before the first byte of an answer is written, the
// bytes still to come are compared with the free space of the folder: when
// they do not fit nothing is written and the run is NoSpace; a write that
// finds the disk full removes the partial file and its state, NoSpace too.
// A plan without a plain package name is CannotCreateFile before anything
// is asked of the network.
DownloadOutcome DownloadPackage(DownloadPlan& plan, DownloadListener& listener, FileHandle& package);
