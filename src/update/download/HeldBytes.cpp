#include "update/download/HeldBytes.h"

#include <algorithm>

#include "support/Files.h"
#include "update/download/ResumeState.h"

HeldBytes::HeldBytes(const std::wstring& packagePath, const std::wstring& url)
    : m_file(PartialPackagePath(packagePath)), m_statePath(ResumeStatePath(packagePath)),
      m_packagePath(packagePath), m_url(url)
{
}

bool HeldBytes::PickUpEarlierRun(bool& leftovers)
{
    const std::optional<ResumeState> state = LoadResumeState(m_statePath);
    // After a power loss the file may run past what reached the disk: only
    // the bytes a checkpoint recorded are trusted.
    const uint64_t held = state ? std::min(FileLength(m_file.Path()), state->held) : 0;
    if (state && state->url == m_url && !state->validator.empty() && held > 0 && held < state->total)
    {
        m_held = m_checkpointed = held;
        m_written = held;
        m_total = state->total;
        m_validator = state->validator;
        m_from = state->from;
        return true;
    }
    leftovers = state || ::GetFileAttributesW(m_file.Path().c_str()) != INVALID_FILE_ATTRIBUTES;
    return false;
}

bool HeldBytes::StartFromZero(uint64_t total, const std::wstring& validator, const std::wstring& from,
                              bool& recorded)
{
    recorded = false;
    if (!m_file.Open(0) || !Truncate())
        return false;
    m_total = total;
    m_validator = validator;
    m_from = from;
    recorded = SaveResumeState(m_statePath, ResumeState{m_url, m_from, m_validator, m_total, 0});
    return true;
}

bool HeldBytes::Truncate()
{
    m_held = m_checkpointed = 0;
    m_written = 0;
    return !m_file.IsOpen() || m_file.Truncate();
}

bool HeldBytes::Append(const char* data, DWORD size)
{
    if (!m_file.Write(data, size))
        return false;
    m_held += size;
    m_written = m_held;
    return true;
}

void HeldBytes::Checkpoint()
{
    if (!m_file.IsOpen() || m_validator.empty())
        return;
    // Recorded only once on the disk: a count ahead of the disk would let the
    // next run append after a hole.
    const uint64_t held = m_written;
    if (m_file.Flush())
        SaveResumeState(m_statePath, ResumeState{m_url, m_from, m_validator, m_total, held});
}

void HeldBytes::Drop()
{
    m_file.Close();
    DiscardPartialDownload(m_packagePath);
    m_held = m_checkpointed = m_total = 0;
    m_written = 0;
    m_validator.clear();
    m_from.clear();
}
