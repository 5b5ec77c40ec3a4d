#include "support/Sha256Pipeline.h"

#include <algorithm>
#include <cstring>

#include "framework/WorkerThread.h"

namespace
{
class Locked
{
  public:
    explicit Locked(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~Locked() { ::ReleaseSRWLockExclusive(&m_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    SRWLOCK& m_lock;
};
} // namespace

Sha256Pipeline::Sha256Pipeline()
{
    m_valid = m_hash.IsValid();
    if (!m_valid)
        return;
    try
    {
        for (Chunk& chunk : m_ring)
            chunk.bytes.resize(kChunkBytes);
    }
    catch (...)
    {
        // Without memory there is no hash: the caller is told through
        // IsValid, as when the platform refuses one.
        m_valid = false;
        return;
    }
    m_thread = StartIdleThread(HashingThread, this);
    if (!m_thread)
        m_valid = false;
}

Sha256Pipeline::~Sha256Pipeline()
{
    Stop();
}

void Sha256Pipeline::Stop()
{
    {
        Locked guard(m_lock);
        m_stopping = true;
    }
    ::WakeAllConditionVariable(&m_changed);
    if (m_thread)
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
}

unsigned __stdcall Sha256Pipeline::HashingThread(void* self)
{
    // Below the user interface, which must stay responsive on two cores, but
    // above the idle download worker that feeds it.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    static_cast<Sha256Pipeline*>(self)->HashChunks();
    return 0;
}

void Sha256Pipeline::HashChunks()
{
    // Nothing here throws: the platform's hash reports failure by status.
    for (;;)
    {
        size_t index = 0;
        {
            Locked guard(m_lock);
            while (m_hashed == m_handed && !m_stopping)
                ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
            // Stopping drains what was handed over before it ends.
            if (m_hashed == m_handed)
                return;
            index = m_hashed % kChunks;
        }
        // The chunk is this thread's until it is counted as hashed.
        m_hash.Update(m_ring[index].bytes.data(), m_ring[index].size);
        {
            Locked guard(m_lock);
            ++m_hashed;
            if (!m_hash.IsValid())
                m_valid = false;
        }
        ::WakeAllConditionVariable(&m_changed);
    }
}

void Sha256Pipeline::Hand()
{
    {
        Locked guard(m_lock);
        ++m_handed;
        ::WakeAllConditionVariable(&m_changed);
        // The next chunk to fill must have been hashed.
        while (m_handed - m_hashed >= kChunks)
            ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
    }
    m_filling = m_handed % kChunks;
    m_ring[m_filling].size = 0;
}
void Sha256Pipeline::Update(const void* data, size_t size)
{
    if (!m_valid || m_finished)
        return;
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0)
    {
        Chunk& chunk = m_ring[m_filling];
        const size_t piece = std::min(size, kChunkBytes - chunk.size);
        std::memcpy(chunk.bytes.data() + chunk.size, bytes, piece);
        chunk.size += piece;
        bytes += piece;
        size -= piece;
        if (chunk.size == kChunkBytes)
            Hand();
    }
}

Sha256Digest Sha256Pipeline::Finish()
{
    if (m_finished || !m_valid)
    {
        m_finished = true;
        Stop();
        return Sha256Digest{};
    }
    m_finished = true;
    if (m_ring[m_filling].size > 0)
        Hand();
    // The thread stops once every chunk handed over is hashed.
    Stop();
    return m_valid ? m_hash.Finish() : Sha256Digest{};
}
