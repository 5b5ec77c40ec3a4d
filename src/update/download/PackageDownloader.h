#pragma once
// One run of the package download: the tries, each continuing what the ones
// before it (and an earlier run) left when the server allows it, the partial
// file they fill and its state, and the checks before the package takes its
// name.

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/HttpFile.h"
#include "framework/ScopedHandle.h"
#include "update/download/PackageAddresses.h"
#include "update/download/PackageDownload.h"
#include "update/download/PackageRequest.h"
#include "update/download/PartialFile.h"

enum class TryOutcome
{
    Accepted, // the answer's body continues or starts the package
    Complete,
    Failed,    // this try failed; another may succeed
    Refused,   // the answer cannot continue the bytes held
    FileError, // the partial file cannot be opened or written: no try helps
    Rejected,  // the package is not the one the record names
    Abandoned,
    ClockWrong, // a certificate's dates failed, and this machine's clock is off the server's
};

class PackageDownloader
{
  public:
    PackageDownloader(const DownloadPlan& plan, PackageVerifier& verifier, DownloadListener& listener);

    DownloadOutcome Run(FileHandle& package);

  private:
    void PickUpEarlierRun();
    TryOutcome Try(int number);
    void LogTry(int number, TryOutcome outcome, const std::wstring& received, unsigned status,
                const std::wstring& cause) const;
    TryOutcome Accept(const PackageAnswer& answer, bool askedRange);
    TryOutcome Transfer(const CHttpFile& file);
    bool Truncate();
    // False when the wizard was left meanwhile.
    bool DropEarlierRun();
    // False, with how the run ends in `end`, when the bytes held had to go
    // and could not.
    bool StartOverUnlessContinuable(DownloadOutcome& end);
    DownloadOutcome Finish(FileHandle& package);
    DownloadOutcome GiveUp(DownloadOutcome outcome);

    const DownloadPlan& m_plan;
    PackageVerifier& m_verifier;
    DownloadListener& m_listener;
    PartialFile m_file;
    PackageAddresses m_addresses;
    size_t m_heldFrom = 0; // the address whose answer the bytes held continue
    const std::wstring m_statePath;
    uint64_t m_held = 0;
    uint64_t m_total = 0;
    std::wstring m_validator;
    ULONGLONG m_lastByteAt = 0;
    bool m_accepted = false;    // an answer of this run has been taken
    bool m_fromEarlier = false; // the bytes held come from an earlier run
};
