#include "update/download/TryOutcome.h"

std::wstring TryEndText(TryOutcome outcome, int number, const std::wstring& received,
                        const std::wstring& detail)
{
    const std::wstring prefix = L"download: try " + std::to_wstring(number);
    switch (outcome)
    {
        case TryOutcome::Accepted:
        case TryOutcome::Complete:
            return prefix + L" complete" + received;
        case TryOutcome::Failed:
        case TryOutcome::ClockWrong:
            return prefix + L" failed" + received + L": " + detail;
        case TryOutcome::Refused:
            return prefix + L": the answer (status " + detail + L") cannot be used";
        case TryOutcome::OtherEntity:
            return prefix + L": the 206 answer names another validator than the one sent (" + detail +
                   L"): another file's bytes";
        case TryOutcome::FileError:
        case TryOutcome::DiskFull:
            return L"download: the partial file " + detail;
        case TryOutcome::Rejected:
            return prefix + L": the package is refused: " + detail;
        case TryOutcome::Abandoned:
            return L"download: stopped by a confirmed Cancel" + received;
        case TryOutcome::NoSpace:
            break;
    }
    return std::wstring();
}
