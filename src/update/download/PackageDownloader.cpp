#include "update/download/PackageDownloader.h"

#include <vector>

#include "support/Files.h"
#include "support/RunLog.h"
#include "support/WebAddress.h"
#include "update/download/RangeAnswer.h"
#include "update/network/LoginPage.h"
#include "update/network/NetworkTimeouts.h"
#include "update/network/ServerClock.h"

PackageDownloader::PackageDownloader(const DownloadPlan& plan, PackageVerifier& verifier,
                                     DownloadListener& listener)
    : m_plan(plan), m_verifier(verifier), m_listener(listener), m_bytes(plan.packagePath, plan.url),
      m_addresses(plan)
{
}

void PackageDownloader::PickUpEarlierRun()
{
    bool leftovers = false;
    if (m_bytes.PickUpEarlierRun(leftovers))
    {
        // Bytes of a package of another size than the record's can never
        // make the one it names. At the address that served them, they go on
        // under its validator; an address the record no longer names is
        // another address, whose bytes only a SHA-256 lets go on elsewhere.
        const size_t from = m_addresses.Find(m_bytes.ServedBy());
        const bool named = from < m_addresses.Count();
        if (!named && !m_plan.identityChecked)
            LogEvent(L"download: an earlier run's bytes came from " + AddressForLog(m_bytes.ServedBy()) +
                     L", which the record no longer names, and no SHA-256 checks them");
        leftovers = !m_verifier.AcceptsTotal(m_bytes.Total()) || (!named && !m_plan.identityChecked);
        if (!leftovers)
        {
            m_fromEarlier = true;
            m_heldFrom = named ? from : kNoAddress;
            if (named)
                m_addresses.StartAt(from);
            LogEvent(L"download: continuing an earlier run's " + std::to_wstring(m_bytes.Held()) + L" of " +
                     std::to_wstring(m_bytes.Total()) + L" bytes from " + AddressForLog(m_bytes.ServedBy()) +
                     (named ? L" (validator " + m_bytes.Validator() + L")"
                            : L", which the record no longer names: the SHA-256 checks the whole"));
            m_listener.OnResumed(m_bytes.Held(), m_bytes.Total());
            return;
        }
    }
    if (leftovers)
    {
        LogEvent(L"download: an earlier run's partial file does not fit this package; discarded");
        m_listener.ChangeFiles([&] { m_bytes.Drop(); });
    }
}

bool PackageDownloader::CheckpointNow()
{
    if (!m_listener.ChangeFiles([&] { m_bytes.Checkpoint(); }))
        return false;
    m_bytes.MarkRecorded();
    return true;
}

TryOutcome PackageDownloader::UnlessSpaceFor(uint64_t needed, uint64_t freed)
{
    const std::optional<uint64_t> free = FreeSpaceBeside(m_bytes.File().Path());
    if (!free || needed <= *free + freed)
        return TryOutcome::Accepted;
    m_listener.OnNoSpace(needed, *free + freed);
    LogEvent(L"download: the package needs " + std::to_wstring(needed) + L" more bytes, the disk has " +
             std::to_wstring(*free + freed) + L"; nothing is written");
    return TryOutcome::NoSpace;
}

// Takes the answer's body as the package (from zero or from the bytes held)
// or refuses it.
TryOutcome PackageDownloader::Accept(const PackageAnswer& answer, bool askedRange)
{
    if (askedRange)
    {
        const RangeVerdict verdict = JudgeRangeAnswer(m_bytes.Held(), m_bytes.Total(), answer.status,
                                                      answer.contentRange, answer.contentLength);
        if (verdict == RangeVerdict::Refused)
            return TryOutcome::Refused;
        if (verdict == RangeVerdict::Append)
            return AcceptContinuation(answer);
    }
    else if (answer.status != 200)
    {
        return TryOutcome::Refused;
    }
    return AcceptWhole(answer);
}

TryOutcome PackageDownloader::AcceptContinuation(const PackageAnswer& answer)
{
    // Asked under a validator, the answer must be that entity; bytes from
    // another address go on under this one's validator (the SHA-256 checks
    // the whole).
    const bool sameAddress = m_heldFrom == m_addresses.Current();
    if (sameAddress && !AnswerKeepsValidator(m_bytes.Validator(), answer.etag, answer.lastModified))
        return TryOutcome::OtherEntity;
    if (UnlessSpaceFor(m_bytes.Total() - m_bytes.Held(), 0) == TryOutcome::NoSpace)
        return TryOutcome::NoSpace;
    bool opened = false;
    if (!m_listener.ChangeFiles(
            [&]
            {
                opened = m_bytes.Reopen();
                if (!sameAddress)
                    m_bytes.ContinueUnder(answer.Validator(), m_addresses.Url());
            }))
        return TryOutcome::Abandoned;
    m_heldFrom = m_addresses.Current();
    if (!opened)
        return TryOutcome::FileError;
    // Bytes an earlier run left are hashed once, as they are now, when they
    // are compared at all.
    if (m_verifier.Hashed() != m_bytes.Held())
    {
        m_verifier.Restart();
        if (!m_verifier.ComparesBytes())
            m_verifier.CountUncompared(m_bytes.Held());
        else if (!m_bytes.File().ReadBack(m_bytes.Held(),
                                          [&](const char* data, DWORD size) { m_verifier.Add(data, size); }))
            return TryOutcome::FileError;
    }
    m_accepted = true;
    return TryOutcome::Accepted;
}

TryOutcome PackageDownloader::AcceptWhole(const PackageAnswer& answer)
{
    // Without its length there is no telling a whole package from a broken
    // one.
    uint64_t length = 0;
    if (!ParseContentLength(answer.contentLength, length))
        return TryOutcome::Refused;
    if (!m_verifier.AcceptsTotal(length))
        return TryOutcome::OtherLength;
    // Whatever the partial file holds goes before the first byte comes.
    if (UnlessSpaceFor(length, FileLength(m_bytes.File().Path())) == TryOutcome::NoSpace)
        return TryOutcome::NoSpace;
    bool opened = false, saved = false;
    if (!m_listener.ChangeFiles(
            [&] { opened = m_bytes.StartFromZero(length, answer.Validator(), m_addresses.Url(), saved); }))
        return TryOutcome::Abandoned;
    m_heldFrom = m_addresses.Current();
    m_verifier.Restart();
    if (!opened)
        return TryOutcome::FileError;
    m_accepted = true;
    if (!saved)
        LogEvent(L"download: the resume state could not be written; this run cannot be continued later");
    return m_listener.OnBytes(0, length) ? TryOutcome::Accepted : TryOutcome::Abandoned;
}

TryOutcome PackageDownloader::Transfer(const CHttpFile& file)
{
    std::vector<char> buffer(kDownloadBlockBytes, '\0');
    // A trickle costs a try instead of holding one open.
    PaceFloor pace(::GetTickCount64(), m_bytes.Total() - m_bytes.Held());
    while (m_bytes.Held() < m_bytes.Total())
    {
        // Read what has come, up to a block, so that a slow server still
        // moves the bar as its bytes arrive, and a stall finds no byte that
        // came waiting in the buffer.
        const DWORD read = file.ReadArrived(buffer.data(), kDownloadBlockBytes);
        if (read == 0)
            return TryOutcome::Failed; // the body ended early
        if (read > m_bytes.Total() - m_bytes.Held())
            return TryOutcome::Failed; // longer than announced: not this package
        if (!m_bytes.Append(buffer.data(), read))
        {
            m_fileError = ::GetLastError();
            return m_fileError == ERROR_DISK_FULL || m_fileError == ERROR_HANDLE_DISK_FULL
                       ? TryOutcome::DiskFull
                       : TryOutcome::FileError;
        }
        m_verifier.Add(buffer.data(), read);
        m_added += read;
        m_lastByteAt = ::GetTickCount64();
        if (!pace.Arrived(read, m_bytes.Total() - m_bytes.Held(), m_lastByteAt))
        {
            m_tooSlow = true;
            return TryOutcome::Failed;
        }
        if (m_bytes.Unrecorded() >= kCheckpointBytes && !CheckpointNow())
            return TryOutcome::Abandoned;
        if (!m_listener.OnBytes(m_bytes.Held(), m_bytes.Total()))
            return TryOutcome::Abandoned;
    }
    return TryOutcome::Complete;
}

TryOutcome PackageDownloader::Try(int number)
{
    const ULONGLONG start = ::GetTickCount64();
    m_lastByteAt = start;
    m_added = 0;
    m_tooSlow = false;
    const uint64_t offset = m_bytes.Held();
    const bool askRange = offset > 0;
    // Bytes from another address are asked for without a validator: that
    // address's validator means nothing here, and the SHA-256 checks them.
    const std::wstring validator = m_heldFrom == m_addresses.Current() ? m_bytes.Validator() : std::wstring();
    m_addresses.AnnounceTry(number, m_listener);
    std::wstring asked =
        L"download: try " + std::to_wstring(number) + L": GET " + AddressForLog(m_addresses.Url());
    if (askRange)
        asked += L" from byte " + std::to_wstring(offset) +
                 (validator.empty() ? L" (no If-Range: the bytes came from another address)"
                                    : L" (If-Range " + validator + L")");
    PackageAnswer answer;
    TryOutcome outcome = TryOutcome::Failed;
    std::wstring cause;
    try
    {
        DWORD error = 0;
        PackageRequest* server = m_addresses.Request(error);
        if (!server)
            throw CInternetException(error);
        auto file = server->Send(offset, validator, answer);
        LogEvent(asked + L" -> " + answer.Describe() + L", " + Elapsed(start));
        cause = WebPageInstead(answer.contentType);
        if (cause.empty())
            outcome = Accept(answer, askRange);
        if (outcome == TryOutcome::Accepted)
            outcome = Transfer(*file);
        if (outcome == TryOutcome::Failed && cause.empty())
            cause = m_tooSlow ? PaceFloor::Describe() + L": counted as stalled" : L"the body ended early";
    }
    catch (const CInternetException& e)
    {
        outcome = TryOutcome::Failed;
        cause = DescribeError(e.m_dwError);
        // Some WinINet builds report a time-out as an aborted connection.
        if (::GetTickCount64() - m_lastByteAt >= m_plan.route.stallMs)
            cause += L", no byte for " + std::to_wstring(m_plan.route.stallMs / 1000) + L" s";
        // A certificate that seems out of date on a machine whose clock is
        // off: no address and no retry can help.
        if (e.m_dwError == ERROR_INTERNET_SEC_CERT_DATE_INVALID && m_plan.clockAhead &&
            IsClockWrong(*m_plan.clockAhead))
        {
            outcome = TryOutcome::ClockWrong;
            const int64_t ahead = *m_plan.clockAhead;
            cause += L"; this machine's clock is " + std::to_wstring((ahead < 0 ? -ahead : ahead) / 3600) +
                     (ahead < 0 ? L" h behind" : L" h ahead of") + L" the update server's";
        }
    }
    if (outcome != TryOutcome::Failed && outcome != TryOutcome::ClockWrong)
        cause = TryEndDetail(outcome, answer);
    // What this try brought is on the disk and recorded before the next.
    if ((outcome == TryOutcome::Failed || outcome == TryOutcome::Refused) && m_added > 0 && !CheckpointNow())
        outcome = TryOutcome::Abandoned;
    const std::wstring line =
        TryEndText(outcome, number,
                   L" after " + std::to_wstring(m_added) + L" bytes in " + Elapsed(start) + L", holding " +
                       std::to_wstring(m_bytes.Held()) + L" of " + std::to_wstring(m_bytes.Total()),
                   cause);
    if (!line.empty())
        LogEvent(line);
    return outcome;
}

std::wstring PackageDownloader::TryEndDetail(TryOutcome outcome, const PackageAnswer& answer) const
{
    switch (outcome)
    {
        case TryOutcome::Refused:
            return std::to_wstring(answer.status);
        case TryOutcome::OtherEntity:
            return m_bytes.Validator();
        case TryOutcome::FileError:
        case TryOutcome::DiskFull:
            return m_bytes.File().Path() + L" cannot be written, error " +
                   DescribeError(m_fileError ? m_fileError : ::GetLastError());
        case TryOutcome::OtherLength:
            return m_verifier.Failure();
        default:
            return std::wstring();
    }
}

DownloadOutcome PackageDownloader::Run(FileHandle& package)
{
    PickUpEarlierRun();
    m_listener.SetCancelCheckpoint([this] { m_bytes.Checkpoint(); });
    RetryPolicy policy;
    for (int number = 1;; ++number)
    {
        const TryOutcome outcome = Try(number);
        if (outcome == TryOutcome::Complete)
            return Finish(package);
        if (outcome == TryOutcome::DiskFull)
            return AfterDiskFull();
        if (outcome == TryOutcome::Abandoned || outcome == TryOutcome::NoSpace)
            return GiveUp(outcome == TryOutcome::NoSpace ? DownloadOutcome::NoSpace
                                                         : DownloadOutcome::Abandoned);
        if (outcome == TryOutcome::FileError)
            return GiveUp(m_accepted ? DownloadOutcome::Failed : DownloadOutcome::CannotCreateFile);
        if (outcome == TryOutcome::ClockWrong)
            return GiveUp(DownloadOutcome::ClockWrong);
        RetryPolicy::Next next = RetryPolicy::Next::AtOnce;
        if (outcome == TryOutcome::OtherEntity ||
            (m_fromEarlier && !m_accepted && outcome == TryOutcome::Refused))
        {
            if (!DropHeldBytes())
                return GiveUp(DownloadOutcome::Abandoned);
            next = policy.AfterDroppedBytes();
        }
        else
        {
            // The network or the server failed, or it serves another
            // package: one dead or stale host costs one try.
            m_addresses.MoveOn();
            // Until an answer of this run has been taken, nothing has begun
            // that a retry could save: once every address has had its try,
            // the addresses or the servers are wrong.
            if (!m_accepted && number >= static_cast<int>(m_addresses.Count()))
                return GiveUp(DownloadOutcome::Failed);
            next = policy.AfterTry(m_added);
        }
        bool left = false;
        DownloadOutcome end = DownloadOutcome::Failed;
        if (!policy.Follow(next, m_listener, left))
            return GiveUp(left ? DownloadOutcome::Abandoned : DownloadOutcome::Failed);
        if (!StartOverUnlessContinuable(end))
            return GiveUp(end);
    }
}

bool PackageDownloader::DropHeldBytes()
{
    // The server no longer has what is held (an earlier run's bytes, or this
    // run's under another validator): from zero.
    LogEvent(L"download: the bytes held do not fit the server's package; starting from zero");
    if (!m_listener.ChangeFiles([&] { m_bytes.Drop(); }))
        return false;
    m_verifier.Restart();
    m_fromEarlier = false;
    return true;
}

bool PackageDownloader::StartOverUnlessContinuable(DownloadOutcome& end)
{
    // At the address that served them, the bytes held are continued under
    // its validator; at another, only when the record's SHA-256 will check
    // the whole. Otherwise nothing proves that the next answer continues
    // them: start again from zero.
    const bool sameAddress = m_heldFrom == m_addresses.Current();
    if (m_bytes.Held() == 0 || (sameAddress ? !m_bytes.Validator().empty() : m_plan.identityChecked))
        return true;
    if (!sameAddress)
        LogEvent(L"download: no SHA-256 checks bytes from two addresses; from zero at " +
                 AddressForLog(m_addresses.Url()));
    bool emptied = false;
    end = DownloadOutcome::Abandoned;
    if (!m_listener.ChangeFiles([&] { emptied = m_bytes.Truncate(); }))
        return false;
    m_verifier.Restart();
    end = DownloadOutcome::Failed;
    if (!emptied)
        return false;
    end = DownloadOutcome::Abandoned;
    return m_listener.OnBytes(0, m_bytes.Total());
}
