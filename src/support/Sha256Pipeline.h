#pragma once
// SHA-256 of a stream on a thread of its own: the caller's bytes are copied
// into a small ring of chunks that the hashing thread takes in turn, so that
// on a machine with two cores the hash runs beside the transfer instead of
// holding it up. Memory stays at the ring's size whatever the stream's.

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <vector>

#include "framework/ScopedHandle.h"
#include "support/Sha256.h"

class Sha256Pipeline
{
  public:
    static constexpr size_t kChunkBytes = 128 * 1024;
    static constexpr size_t kChunks = 4;

    Sha256Pipeline();
    ~Sha256Pipeline();
    Sha256Pipeline(const Sha256Pipeline&) = delete;
    Sha256Pipeline& operator=(const Sha256Pipeline&) = delete;

    // False when the platform gave no hash, or refused a piece of it.
    bool IsValid() const { return m_valid; }
    // Copies `size` bytes in; waits only while every chunk of the ring is
    // full, that is when the hash is slower than the bytes come.
    void Update(const void* data, size_t size);
    // Waits until everything given has been hashed; once. All zero when the
    // hash is not valid.
    Sha256Digest Finish();

  private:
    struct Chunk
    {
        std::vector<BYTE> bytes;
        size_t size = 0;
    };

    static unsigned __stdcall HashingThread(void* self);
    void HashChunks();
    void Hand(); // the filling chunk goes to the hashing thread
    void Stop();

    Sha256 m_hash;
    std::array<Chunk, kChunks> m_ring;
    // The platform's own lock and condition: the runtime's would bring a
    // thread library into the program for this one use.
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    size_t m_filling = 0; // the chunk the caller fills; the caller's alone
    size_t m_handed = 0;  // chunks handed over, in all
    size_t m_hashed = 0;  // chunks hashed, in all
    bool m_stopping = false;
    std::atomic<bool> m_valid{false};
    bool m_finished = false;
    KernelHandle m_thread;
};
