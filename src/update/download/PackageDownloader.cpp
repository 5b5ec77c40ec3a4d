#include "update/download/PackageDownloader.h"

#include <vector>

#include "support/Files.h"
#include "support/RunLog.h"
#include "update/download/PackageNaming.h"
#include "update/download/RangeAnswer.h"
#include "update/download/ResumeState.h"
#include "update/network/LoginPage.h"
#include "update/network/ServerClock.h"

PackageDownloader::PackageDownloader(const DownloadPlan& plan, PackageVerifier& verifier,
                                     DownloadListener& listener)
    : m_plan(plan), m_verifier(verifier), m_listener(listener), m_file(PartialPackagePath(plan.packagePath)),
      m_addresses(plan), m_statePath(ResumeStatePath(plan.packagePath))
{
}

void PackageDownloader::PickUpEarlierRun()
{
    const std::optional<ResumeState> state = LoadResumeState(m_statePath);
    const uint64_t held = FileLength(m_file.Path());
    if (state && state->url == m_plan.url && !state->validator.empty() && held > 0 && held < state->total)
    {
        m_held = held;
        m_total = state->total;
        m_validator = state->validator;
        m_fromEarlier = true;
        LogEvent(L"download: continuing an earlier run's " + std::to_wstring(held) + L" of " +
                 std::to_wstring(m_total) + L" bytes (validator " + m_validator + L")");
        m_listener.OnResumed(m_held, m_total);
        return;
    }
    if (state || ::GetFileAttributesW(m_file.Path().c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        LogEvent(L"download: an earlier run's partial file does not fit this package; discarded");
        m_listener.ChangeFiles([&] { DiscardPartialDownload(m_plan.packagePath); });
    }
}

bool PackageDownloader::Truncate()
{
    m_held = 0;
    m_verifier.Restart();
    return !m_file.IsOpen() || m_file.Truncate();
}

// Takes the answer's body as the package (from zero or from the bytes held)
// or refuses it.
TryOutcome PackageDownloader::Accept(const PackageAnswer& answer, bool askedRange)
{
    if (askedRange)
    {
        const RangeVerdict verdict =
            JudgeRangeAnswer(m_held, m_total, answer.status, answer.contentRange, answer.contentLength);
        if (verdict == RangeVerdict::Refused)
            return TryOutcome::Refused;
        if (verdict == RangeVerdict::Append)
        {
            bool opened = false;
            if (!m_listener.ChangeFiles([&] { opened = m_file.Open(m_held); }))
                return TryOutcome::Abandoned;
            if (!opened)
                return TryOutcome::FileError;
            if (!m_verifier.AcceptsTotal(m_total))
                return TryOutcome::Rejected;
            // Bytes from another address go on under this one's validator.
            if (m_heldFrom != m_addresses.Current())
                m_validator = answer.Validator();
            m_heldFrom = m_addresses.Current();
            // Bytes an earlier run left are hashed once, as they are now,
            // when they are compared at all.
            if (m_verifier.Hashed() != m_held)
            {
                m_verifier.Restart();
                if (!m_verifier.ComparesBytes())
                    m_verifier.CountUncompared(m_held);
                else if (!m_file.ReadBack(m_held,
                                          [&](const char* data, DWORD size) { m_verifier.Add(data, size); }))
                    return TryOutcome::FileError;
            }
            m_accepted = true;
            return TryOutcome::Accepted;
        }
    }
    else if (answer.status != 200)
    {
        return TryOutcome::Refused;
    }
    // The whole package, from its first byte. Without its length there is no
    // telling a whole package from a broken one.
    uint64_t length = 0;
    if (!ParseContentLength(answer.contentLength, length))
        return TryOutcome::Refused;
    if (!m_verifier.AcceptsTotal(length))
        return TryOutcome::Rejected;
    bool opened = false, saved = false;
    const bool changed = m_listener.ChangeFiles(
        [&]
        {
            opened = m_file.Open(0) && Truncate();
            m_total = length;
            m_heldFrom = m_addresses.Current();
            m_validator = answer.Validator();
            // Written before the first byte: whatever ends this run, the
            // partial file says what it belongs to.
            saved = opened && SaveResumeState(m_statePath, ResumeState{m_plan.url, m_validator, m_total, 0});
        });
    if (!changed)
        return TryOutcome::Abandoned;
    if (!opened)
        return TryOutcome::FileError;
    m_accepted = true;
    if (!saved)
        LogEvent(L"download: the resume state could not be written; this run cannot be continued later");
    return m_listener.OnBytes(0, m_total) ? TryOutcome::Accepted : TryOutcome::Abandoned;
}

TryOutcome PackageDownloader::Transfer(const CHttpFile& file)
{
    std::vector<char> buffer(kDownloadBlockBytes, '\0');
    bool flowing = false;
    while (m_held < m_total)
    {
        // While whole blocks come faster than the eye follows, each read asks
        // for a whole one; otherwise for what has come, up to a block, so
        // that a slow server still moves the bar as its bytes arrive. Asking
        // what has come costs a call into the network library per block,
        // which at full speed is what the transfer would wait for.
        DWORD want = kDownloadBlockBytes;
        if (!flowing)
        {
            const DWORD available = file.QueryDataAvailable();
            if (available > 0 && available < kDownloadBlockBytes)
                want = available;
        }
        const ULONGLONG asked = ::GetTickCount64();
        const DWORD read = file.Read(buffer.data(), want);
        if (read == 0)
            return TryOutcome::Failed; // the body ended early
        if (read > m_total - m_held)
            return TryOutcome::Failed; // longer than announced: not this package
        if (!m_file.Write(buffer.data(), read))
            return TryOutcome::FileError; // a full disk, for instance
        m_verifier.Add(buffer.data(), read);
        m_held += read;
        m_lastByteAt = ::GetTickCount64();
        flowing = read == kDownloadBlockBytes && m_lastByteAt - asked < kFlowingReadMs;
        if (!m_listener.OnBytes(m_held, m_total))
            return TryOutcome::Abandoned;
    }
    return TryOutcome::Complete;
}

void PackageDownloader::LogTry(int number, TryOutcome outcome, const std::wstring& received, unsigned status,
                               const std::wstring& cause) const
{
    switch (outcome)
    {
        case TryOutcome::Accepted:
        case TryOutcome::Complete:
            LogEvent(L"download: try " + std::to_wstring(number) + L" complete" + received);
            break;
        case TryOutcome::Failed:
        case TryOutcome::ClockWrong:
            LogEvent(L"download: try " + std::to_wstring(number) + L" failed" + received + L": " + cause);
            break;
        case TryOutcome::Refused:
            LogEvent(L"download: try " + std::to_wstring(number) + L": the answer (status " +
                     std::to_wstring(status) + L") cannot be used");
            break;
        case TryOutcome::FileError:
            LogEvent(L"download: the partial file " + m_file.Path() + L" cannot be written, error " +
                     DescribeError(::GetLastError()));
            break;
        case TryOutcome::Rejected:
            LogEvent(L"download: try " + std::to_wstring(number) + L": the package is refused: " +
                     m_verifier.Failure());
            break;
        case TryOutcome::Abandoned:
            LogEvent(L"download: stopped by a confirmed Cancel" + received);
            break;
    }
}

TryOutcome PackageDownloader::Try(int number)
{
    const ULONGLONG start = ::GetTickCount64();
    m_lastByteAt = start;
    const uint64_t offset = m_held;
    const bool askRange = offset > 0;
    // Bytes from another address are asked for without a validator: that
    // address's validator means nothing here, and the SHA-256 checks them.
    const bool sameAddress = m_heldFrom == m_addresses.Current();
    const std::wstring validator = sameAddress ? m_validator : std::wstring();
    m_addresses.AnnounceTry(number, m_listener);
    std::wstring asked = L"download: try " + std::to_wstring(number) + L": GET " + m_addresses.Url();
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
        LogEvent(asked + L" -> status " + std::to_wstring(answer.status) + L", Content-Length " +
                 (answer.contentLength.empty() ? L"none" : answer.contentLength) +
                 (answer.contentRange.empty() ? L"" : L", Content-Range " + answer.contentRange) +
                 (answer.Validator().empty() ? L", no validator" : L", validator " + answer.Validator()) +
                 L", " + Elapsed(start));
        cause = WebPageInstead(answer.contentType);
        if (cause.empty())
            outcome = Accept(answer, askRange);
        if (outcome == TryOutcome::Accepted)
            outcome = Transfer(*file);
        if (outcome == TryOutcome::Failed && cause.empty())
            cause = L"the body ended early";
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
    const std::wstring received = L" after " + std::to_wstring(m_held - std::min(m_held, offset)) +
                                  L" bytes in " + Elapsed(start) + L", holding " + std::to_wstring(m_held) +
                                  L" of " + std::to_wstring(m_total);
    LogTry(number, outcome, received, answer.status, cause);
    return outcome;
}

DownloadOutcome PackageDownloader::Finish(FileHandle& package)
{
    // Nothing that fails a check is run or kept.
    if (m_held != m_total || !m_verifier.Finish() ||
        !m_verifier.AcceptsAuthenticode(m_file.Handle(), m_file.Path()))
    {
        LogEvent(L"download: the package is refused and deleted");
        m_file.Close();
        m_listener.ChangeFiles([&] { DiscardPartialDownload(m_plan.packagePath); });
        return DownloadOutcome::Rejected;
    }
    DWORD error = 0;
    const NamingResult named =
        NamePackage(m_file, m_plan.packagePath, m_statePath, m_listener, package, error);
    if (named == NamingResult::Named)
    {
        LogEvent(L"download: the package is complete and held at " + m_plan.packagePath);
        return DownloadOutcome::Complete;
    }
    m_file.Close();
    if (named == NamingResult::Abandoned)
    {
        // A name taken before the Cancel is nothing the frame knows of.
        if (m_file.Path() == m_plan.packagePath)
            ::DeleteFileW(m_plan.packagePath.c_str());
        return GiveUp(DownloadOutcome::Abandoned);
    }
    // Held beyond every retry, or gone after it was checked: security
    // software that holds or quarantines new programs.
    const bool blocked =
        IsHeldFileError(error) || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    LogEvent(L"download: the package could not take its name and be held, error " + DescribeError(error) +
             (blocked ? L": another program holds or removed it" : L""));
    m_listener.ChangeFiles(
        [&]
        {
            DiscardPartialDownload(m_plan.packagePath);
            ::DeleteFileW(m_plan.packagePath.c_str());
        });
    return blocked ? DownloadOutcome::Blocked : DownloadOutcome::Failed;
}

DownloadOutcome PackageDownloader::GiveUp(DownloadOutcome outcome)
{
    m_file.Close();
    // After a confirmed Cancel the frame has decided what stays.
    m_listener.ChangeFiles(
        [&]
        {
            // What arrived stays for the next run, when a next run can trust it.
            if (m_held > 0 && !m_validator.empty() && outcome != DownloadOutcome::CannotCreateFile &&
                outcome != DownloadOutcome::Rejected)
            {
                SaveResumeState(m_statePath, ResumeState{m_plan.url, m_validator, m_total, m_held});
                LogEvent(L"download: " + std::to_wstring(m_held) + L" of " + std::to_wstring(m_total) +
                         L" bytes kept for the next run");
            }
            else if (m_accepted || outcome != DownloadOutcome::CannotCreateFile)
            {
                DiscardPartialDownload(m_plan.packagePath);
            }
        });
    return outcome;
}

DownloadOutcome PackageDownloader::Run(FileHandle& package)
{
    if (!m_verifier.Precondition().empty())
    {
        LogEvent(L"verify: no package can be accepted: " + m_verifier.Precondition());
        return DownloadOutcome::Rejected;
    }
    PickUpEarlierRun();
    // Tries that bring nothing new wait longer each time and are counted; a
    // try that got further than any before it is followed at once by the
    // next, and the count starts again: a connection that a network cuts
    // every so often costs nothing but the new requests. The count, the
    // waits and the bound are the run's, whichever address a try goes to.
    int retries = 0;
    uint64_t furthest = m_held;
    for (int number = 1;; ++number)
    {
        const TryOutcome outcome = Try(number);
        if (outcome == TryOutcome::Complete)
            return Finish(package);
        if (outcome == TryOutcome::Rejected)
            return GiveUp(DownloadOutcome::Rejected);
        if (outcome == TryOutcome::Abandoned)
            return GiveUp(DownloadOutcome::Abandoned);
        if (outcome == TryOutcome::FileError)
            return GiveUp(m_accepted ? DownloadOutcome::Failed : DownloadOutcome::CannotCreateFile);
        if (outcome == TryOutcome::ClockWrong)
            return GiveUp(DownloadOutcome::ClockWrong);
        if (m_fromEarlier && !m_accepted && outcome == TryOutcome::Refused)
        {
            if (!DropEarlierRun())
                return GiveUp(DownloadOutcome::Abandoned);
            furthest = 0;
            continue;
        }
        // The network or the server failed: one dead host costs one try.
        m_addresses.MoveOn();
        // Until an answer of this run has been taken, nothing has begun that
        // a retry could save: once every address has had its try, the
        // addresses or the servers are wrong.
        if (!m_accepted && number >= static_cast<int>(m_addresses.Count()))
            return GiveUp(DownloadOutcome::Failed);
        if (m_held > furthest)
        {
            furthest = m_held;
            retries = 0;
            LogEvent(L"download: the try got further; trying again at once");
        }
        else
        {
            if (retries == kMaxDownloadRetries)
                return GiveUp(DownloadOutcome::Failed);
            ++retries;
            const DWORD wait = RetryDelayMs(retries);
            LogEvent(L"download: waiting " + std::to_wstring(wait / 1000) + L" s before retry " +
                     std::to_wstring(retries) + L" of " + std::to_wstring(kMaxDownloadRetries));
            if (!m_listener.OnRetryWait(wait, retries, kMaxDownloadRetries))
            {
                LogEvent(L"download: stopped by a confirmed Cancel while waiting to retry");
                return GiveUp(DownloadOutcome::Abandoned);
            }
        }
        DownloadOutcome end = DownloadOutcome::Failed;
        if (!StartOverUnlessContinuable(end))
            return GiveUp(end);
    }
}

bool PackageDownloader::DropEarlierRun()
{
    // The server no longer has what the earlier run held: from zero.
    LogEvent(L"download: the earlier run's bytes do not fit the server's package; starting from zero");
    if (!m_listener.ChangeFiles([&] { DiscardPartialDownload(m_plan.packagePath); }))
        return false;
    m_held = m_total = 0;
    m_validator.clear();
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
    if (m_held == 0 || (sameAddress ? !m_validator.empty() : m_plan.identityChecked))
        return true;
    if (!sameAddress)
        LogEvent(L"download: no SHA-256 checks bytes from two addresses; from zero at " + m_addresses.Url());
    bool emptied = false;
    end = DownloadOutcome::Abandoned;
    if (!m_listener.ChangeFiles([&] { emptied = Truncate(); }))
        return false;
    end = DownloadOutcome::Failed;
    if (!emptied)
        return false;
    end = DownloadOutcome::Abandoned;
    return m_listener.OnBytes(0, m_total);
}
