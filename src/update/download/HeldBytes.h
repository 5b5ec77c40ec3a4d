#pragma once
// The bytes of a package download held so far: the partial file, the state
// file beside it that a later run reads, and the counts that both must
// agree with. A checkpoint puts the file on the disk before it records how
// much it holds, so that a later run never trusts bytes that did not reach
// the disk. Every change to the files is the caller's to exclude from a
// confirmed Cancel; Checkpoint may also run on the Cancel's thread.

#include <atomic>
#include <cstdint>
#include <string>

#include "update/download/PartialFile.h"

class HeldBytes
{
  public:
    HeldBytes(const std::wstring& packagePath, const std::wstring& url);

    PartialFile& File() { return m_file; }
    const PartialFile& File() const { return m_file; }
    uint64_t Held() const { return m_held; }
    uint64_t Total() const { return m_total; }
    const std::wstring& Validator() const { return m_validator; }
    // The address whose answers the bytes held continue.
    const std::wstring& ServedBy() const { return m_from; }
    // Bytes written since the last checkpoint.
    uint64_t Unrecorded() const { return m_held - m_checkpointed; }

    // Takes up what an earlier run left of this record's package, from
    // whichever address: the smaller of the partial file's length and the
    // count its state recorded. False, taking
    // nothing, when there is nothing to continue; `leftovers` then says
    // whether files of an earlier run are there.
    bool PickUpEarlierRun(bool& leftovers);
    // Opens the partial file keeping the bytes held.
    bool Reopen() { return m_file.Open(m_held); }
    // A package of `total` bytes served by `from` under `validator`, from
    // zero: the file is created or emptied, and the state written before the
    // first byte, so that whatever ends the run the file says what it
    // belongs to. False when the file cannot be opened; `recorded` says
    // whether the state was written.
    bool StartFromZero(uint64_t total, const std::wstring& validator, const std::wstring& from,
                       bool& recorded);
    // The bytes held go on under `validator` of `from`, another address.
    void ContinueUnder(const std::wstring& validator, const std::wstring& from)
    {
        m_validator = validator;
        m_from = from;
    }
    // Empties the partial file, keeping the package's identity.
    bool Truncate();
    // False, with the platform's error as the last error, when not all was
    // written.
    bool Append(const char* data, DWORD size);
    // Flushes the file, then records the bytes written before the flush;
    // nothing without a validator (no later run could continue them).
    void Checkpoint();
    // The worker's checkpoint has been made.
    void MarkRecorded() { m_checkpointed = m_held; }
    // Closes and removes both files; nothing is held any more.
    void Drop();

  private:
    PartialFile m_file;
    const std::wstring m_statePath;
    const std::wstring m_packagePath;
    const std::wstring m_url;
    uint64_t m_held = 0;
    // m_held as a checkpoint on another thread reads it: set once the bytes
    // are written.
    std::atomic<uint64_t> m_written{0};
    uint64_t m_checkpointed = 0;
    uint64_t m_total = 0;
    std::wstring m_validator;
    std::wstring m_from;
};
