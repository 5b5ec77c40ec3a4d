#include "support/Sha256Pipeline.h"

#include <algorithm>
#include <cstring>

Sha256Pipeline::Sha256Pipeline()
{
    m_valid = m_hash.IsValid();
    if (!m_valid)
        return;
    try
    {
        for (Chunk& chunk : m_ring)
            chunk.bytes.resize(kChunkBytes);
        m_thread = std::thread([this] { HashChunks(); });
    }
    catch (...)
    {
        // Without memory or a thread there is no hash: the caller is told
        // through IsValid, as when the platform refuses one.
        m_valid = false;
    }
}

Sha256Pipeline::~Sha256Pipeline()
{
    Stop();
}

void Sha256Pipeline::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void Sha256Pipeline::HashChunks()
{
    // Below the user interface, which must stay responsive on two cores,
    // but above the idle download worker that feeds it.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    // Nothing here throws: the platform's hash reports failure by status.
    for (;;)
    {
        size_t index = 0;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [this] { return m_hashed < m_handed || m_stopping; });
            if (m_hashed == m_handed)
                return;
            index = m_hashed % kChunks;
        }
        // The chunk is the thread's until it is counted as hashed.
        m_hash.Update(m_ring[index].bytes.data(), m_ring[index].size);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_hashed;
            if (!m_hash.IsValid())
                m_valid = false;
        }
        m_changed.notify_all();
    }
}

void Sha256Pipeline::Hand()
{
    {
        std::unique_lock<std::mutex> guard(m_lock);
        ++m_handed;
        // The next chunk to fill must have been hashed.
        m_changed.wait(guard, [this] { return m_handed - m_hashed < kChunks; });
    }
    m_changed.notify_all();
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
