#include "update/PackageDownload.h"

#include <cwctype>
#include <vector>

#include "framework/InternetSession.h"

namespace
{
// The proxy asks again for credentials; answer with the download's own.
void AnswerProxyAuthentication(const CHttpFile& file)
{
    for (int retries = 0; retries < kMaxDownloadProxyAuthRetries; ++retries)
    {
        DWORD status = 0;
        file.QueryStatusCode(status);
        if (status != HTTP_STATUS_PROXY_AUTH_REQ)
            return;
        file.SetOption(INTERNET_OPTION_PROXY_USERNAME, std::wstring(L"qjd"));
        file.SetOption(INTERNET_OPTION_PROXY_PASSWORD, std::wstring(L"858"));
        file.SendRequest();
    }
}

bool WriteAll(HANDLE file, const char* data, DWORD size)
{
    while (size > 0)
    {
        DWORD written = 0;
        if (!::WriteFile(file, data, size, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}
} // namespace

int ProgressPosition(uint64_t received, uint64_t total)
{
    if (total == 0)
        return 0;
    return static_cast<int>(static_cast<double>(received) * 10000.0 / static_cast<double>(total));
}

bool ParseContentLength(const std::wstring& text, uint64_t& length)
{
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i]))
        ++i;
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits)
    {
        if (value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + static_cast<uint64_t>(text[i] - L'0');
    }
    if (digits == 0 || value == 0)
        return false;
    length = value;
    return true;
}

std::wstring TemporaryDownloadPath(const std::wstring& packagePath)
{
    return packagePath + L".downloading";
}

DownloadOutcome DownloadPackage(const DownloadRequest& request, const ProgressSink& progress)
{
    const std::wstring temporary = TemporaryDownloadPath(request.packagePath);
    bool fileCreated = false;
    try
    {
        CInternetSession session(request.agent.c_str(), 1,
                                 request.useProxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                                 request.useProxy ? request.proxy.c_str() : nullptr, nullptr, 0);
        if (request.useProxy)
        {
            session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
        }
        else
        {
            session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 30000);
            session.SetOption(INTERNET_OPTION_CONNECT_BACKOFF, 1000);
            session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
        }
        auto file =
            session.OpenURL(request.url.c_str(), 1,
                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY);
        if (request.useProxy)
            AnswerProxyAuthentication(*file);

        std::wstring status, lengthText;
        if (!file->QueryInfo(HTTP_QUERY_STATUS_CODE, status) || status != L"200")
            return DownloadOutcome::Failed;
        // Without the package's size there is no telling a whole package
        // from a broken one.
        uint64_t total = 0;
        file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, lengthText);
        if (!ParseContentLength(lengthText, total))
            return DownloadOutcome::Failed;

        if (!progress(0))
            return DownloadOutcome::Abandoned;
        FileHandle out(::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out)
            return DownloadOutcome::CannotCreateFile;
        fileCreated = true;

        std::vector<char> buffer(kDownloadBlockBytes, '\0');
        uint64_t received = 0;
        int shown = 0;
        ULONGLONG lastShown = 0;
        bool writeFailed = false;
        for (;;)
        {
            // Read what has come, up to a block, so that a slow server still
            // moves the bar as its bytes arrive.
            const DWORD available = file->QueryDataAvailable();
            const DWORD want =
                available > 0 && available < kDownloadBlockBytes ? available : kDownloadBlockBytes;
            const DWORD read = file->Read(buffer.data(), want);
            if (read == 0)
                break;
            received += read;
            if (received > total)
                break;
            // The bar moves when its position does, and at most every
            // kProgressIntervalMs: each move waits for the user-interface
            // thread, which would otherwise slow a fast transfer several
            // times over. The last position is always shown.
            const int position = ProgressPosition(received, total);
            const ULONGLONG now = ::GetTickCount64();
            if (position != shown && (now - lastShown >= kProgressIntervalMs || position == 10000))
            {
                shown = position;
                lastShown = now;
                if (!progress(position))
                {
                    out.Reset();
                    ::DeleteFileW(temporary.c_str());
                    return DownloadOutcome::Abandoned;
                }
            }
            if (!WriteAll(out.Get(), buffer.data(), read))
            {
                writeFailed = true; // a full disk, for instance
                break;
            }
        }
        // No flush to the disk before the move: the package is run from this
        // machine's cache at once, and a flush would only cost time; after a
        // crash nothing trusts the file again (the next download recreates it).
        const bool complete = !writeFailed && received == total;
        out.Reset();
        if (!complete ||
            !::MoveFileExW(temporary.c_str(), request.packagePath.c_str(), MOVEFILE_REPLACE_EXISTING))
        {
            ::DeleteFileW(temporary.c_str());
            return DownloadOutcome::Failed;
        }
        return DownloadOutcome::Complete;
    }
    catch (const CInternetException&)
    {
        if (fileCreated)
            ::DeleteFileW(temporary.c_str());
        return DownloadOutcome::Failed;
    }
}
