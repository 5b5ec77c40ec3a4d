// The yardsticks for the wizard's network work: the same WinINet calls with
// nothing around them.
//   bare_wininet post <host> <port> <rounds>
//       the version-check request, median of the rounds
//   bare_wininet get <url> <file> [block bytes] [whole|asked|arrived]
//       the package download loop with the wizard's flags (RELOAD,
//       DONT_CACHE, TRANSFER_BINARY), written to a file, reading blocks of
//       `block bytes` (8192 by default) in one of three ways:
//         whole    InternetReadFile of whole blocks (the default)
//         asked    InternetQueryDataAvailable first, then what it says has
//                  come, up to a block
//         copied   as asked, each block then copied into a ring of four
//                  buffers of 128 KiB: what the keyed build's transfer
//                  thread added to the loop before it read as bytes arrive
//         busy     as asked, while a thread of below-normal priority keeps
//                  the other processor busy, as the keyed build's hashing
//                  thread did beside that loop
//         arrived  what has come, up to a block, without waiting for more
//                  (InternetReadFileEx with IRF_NO_WAIT on a session that
//                  waits in the background), waiting only while nothing has:
//                  the wizard's way
//       with the calls made, the sizes the reads returned, and how many
//       calls found nothing to take and waited for the network (> 0.1 ms)
//   bare_wininet sha256 <MiB>
//       the platform's SHA-256 (CNG) over that many MiB in pieces of 128 KiB,
//       as the wizard's hashing thread takes them: the ceiling of a download
//       that hashes every byte
// Prints one line of figures.

#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct Closer
{
    void operator()(HINTERNET h) const { ::InternetCloseHandle(h); }
};
using Internet = std::unique_ptr<void, Closer>;

double Now()
{
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool PostOnce(const wchar_t* host, INTERNET_PORT port)
{
    Internet session(::InternetOpenW(L"QVXLiveUpdate", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    Internet connection(::InternetConnectW(session.get(), host, port, L"", L"", INTERNET_SERVICE_HTTP, 0, 1));
    Internet request(::HttpOpenRequestW(connection.get(), L"POST", L"/gdisp.xml?", nullptr, nullptr, nullptr,
                                        INTERNET_FLAG_KEEP_CONNECTION, 1));
    if (!request)
        return false;
    const std::wstring headers =
        std::wstring(L"Host: ") + host +
        L"\r\nContent-Type: application/x-www-form-urlencoded\r\nVersion:2.0.0.0\r\n";
    ::HttpAddRequestHeadersW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                             HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
        return false;
    char buffer[4096];
    DWORD read = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0)
    {
    }
    return true;
}

int Post(const wchar_t* host, int port, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
    {
        const double start = Now();
        if (!PostOnce(host, static_cast<INTERNET_PORT>(port)))
            return std::printf("post failed\n"), 1;
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("post_median_ms=%.2f\n", times[times.size() / 2]);
    return 0;
}

enum class Way
{
    Whole,
    Asked,
    Copied,
    Busy,
    Arrived,
};

// The end of a call on the session that waits in the background, as its
// status callback reports it.
struct Completion
{
    HANDLE done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    INTERNET_ASYNC_RESULT result{};
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD)
{
    if (status != INTERNET_STATUS_REQUEST_COMPLETE || !context || !information)
        return;
    auto* completion = reinterpret_cast<Completion*>(context);
    completion->result = *static_cast<INTERNET_ASYNC_RESULT*>(information);
    ::SetEvent(completion->done);
}

// Waits for the call that returned ERROR_IO_PENDING; false when it failed.
bool Await(Completion& completion)
{
    if (::GetLastError() != ERROR_IO_PENDING)
        return false;
    ::WaitForSingleObject(completion.done, INFINITE);
    ::SetLastError(completion.result.dwError);
    return completion.result.dwResult != 0;
}

// What the loop did: the reads that brought bytes, the queries, and how many
// reads returned sizes of each power of two.
struct Calls
{
    unsigned long long reads = 0, queries = 0, waits = 0;
    unsigned long long sizes[24] = {};

    void Count(DWORD read)
    {
        ++reads;
        int bucket = 0;
        while (bucket < 23 && (1ull << (bucket + 1)) <= read)
            ++bucket;
        ++sizes[bucket];
    }
};

// Spins until told to stop.
unsigned __stdcall Spin(void* stop)
{
    while (!*static_cast<volatile bool*>(stop))
    {
    }
    return 0;
}

int Get(const wchar_t* url, const wchar_t* path, DWORD block, Way way)
{
    volatile bool stop = false;
    HANDLE spinner = nullptr;
    if (way == Way::Busy)
    {
        spinner = reinterpret_cast<HANDLE>(
            ::_beginthreadex(nullptr, 0, Spin, const_cast<bool*>(&stop), CREATE_SUSPENDED, nullptr));
        ::SetThreadPriority(spinner, THREAD_PRIORITY_BELOW_NORMAL);
        ::ResumeThread(spinner);
    }
    const double start = Now();
    Completion completion;
    Internet session(::InternetOpenW(L"QVXLiveUpdate", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                     way == Way::Arrived ? INTERNET_FLAG_ASYNC : 0));
    const DWORD_PTR context = way == Way::Arrived ? reinterpret_cast<DWORD_PTR>(&completion) : 1;
    if (way == Way::Arrived)
        ::InternetSetStatusCallbackW(session.get(), OnStatus);
    HINTERNET opened = ::InternetOpenUrlW(
        session.get(), url, nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY, context);
    if (!opened && way == Way::Arrived && Await(completion))
        opened = reinterpret_cast<HINTERNET>(completion.result.dwResult);
    Internet file(opened);
    if (!file)
        return std::printf("open failed %lu\n", ::GetLastError()), 1;
    HANDLE out = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> buffer(block);
    unsigned long long total = 0;
    Calls calls;
    std::vector<char> ring[4] = {std::vector<char>(131072), std::vector<char>(131072),
                                 std::vector<char>(131072), std::vector<char>(131072)};
    size_t ringChunk = 0, ringUsed = 0;
    for (;;)
    {
        DWORD read = 0;
        if (way == Way::Arrived)
        {
            INTERNET_BUFFERSW buffers{};
            buffers.dwStructSize = sizeof buffers;
            buffers.lpvBuffer = buffer.data();
            buffers.dwBufferLength = block;
            if (!::InternetReadFileExW(file.get(), &buffers, IRF_NO_WAIT, context))
            {
                // Nothing had come: the first bytes are waited for, and the
                // next read takes them.
                ++calls.waits;
                if (!Await(completion))
                    return std::printf("read failed %lu\n", ::GetLastError()), 1;
                continue;
            }
            read = buffers.dwBufferLength;
        }
        else
        {
            DWORD want = block;
            const double asked = Now();
            if (way != Way::Whole)
            {
                DWORD available = 0;
                ++calls.queries;
                if (!::InternetQueryDataAvailable(file.get(), &available, 0, 0))
                    return std::printf("query failed %lu\n", ::GetLastError()), 1;
                want = available > 0 && available < block ? available : block;
            }
            if (!::InternetReadFile(file.get(), buffer.data(), want, &read))
                return std::printf("read failed %lu\n", ::GetLastError()), 1;
            if (Now() - asked > 0.1)
                ++calls.waits;
        }
        if (way == Way::Copied && read > 0)
        {
            // The ring's chunks fill in turn, as the hashing thread's feed did.
            for (DWORD done = 0; done < read;)
            {
                const size_t room = ring[ringChunk].size() - ringUsed;
                const size_t take = std::min<size_t>(room, read - done);
                std::memcpy(ring[ringChunk].data() + ringUsed, buffer.data() + done, take);
                done += static_cast<DWORD>(take);
                ringUsed += take;
                if (ringUsed == ring[ringChunk].size())
                    ringChunk = (ringChunk + 1) % 4, ringUsed = 0;
            }
        }
        if (read == 0)
            break;
        calls.Count(read);
        DWORD written = 0;
        ::WriteFile(out, buffer.data(), read, &written, nullptr);
        total += read;
    }
    ::CloseHandle(out);
    const double ms = Now() - start;
    if (spinner)
    {
        stop = true;
        ::WaitForSingleObject(spinner, INFINITE);
        ::CloseHandle(spinner);
    }
    const double mib = static_cast<double>(total) / 1048576.0;
    std::printf("bytes=%llu ms=%.0f mib_per_s=%.1f block=%lu reads=%llu queries=%llu reads_per_mib=%.1f "
                "queries_per_mib=%.1f waits_per_mib=%.1f bytes_per_read=%.0f read_sizes=",
                total, ms, mib / (ms / 1000.0), block, calls.reads, calls.queries,
                static_cast<double>(calls.reads) / mib, static_cast<double>(calls.queries) / mib,
                static_cast<double>(calls.waits) / mib,
                calls.reads ? static_cast<double>(total) / static_cast<double>(calls.reads) : 0.0);
    // "from:count" for each power of two the reads' sizes began at.
    for (int i = 0; i < 24; ++i)
        if (calls.sizes[i])
            std::printf("%llu:%llu,", 1ull << i, calls.sizes[i]);
    std::printf("\n");
    return 0;
}

int HashRate(int mebibytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
        ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
        return std::printf("no SHA-256\n"), 1;
    std::vector<UCHAR> piece(128 * 1024, 0x5a);
    const double start = Now();
    for (int i = 0; i < mebibytes * 8; ++i)
        ::BCryptHashData(hash, piece.data(), static_cast<ULONG>(piece.size()), 0);
    UCHAR digest[32];
    ::BCryptFinishHash(hash, digest, sizeof digest, 0);
    const double ms = Now() - start;
    ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    std::printf("sha256_mib=%d ms=%.0f mib_per_s=%.1f\n", mebibytes, ms, mebibytes / (ms / 1000.0));
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc == 5 && mode == L"post")
        return Post(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
    if (argc >= 4 && argc <= 6 && mode == L"get")
    {
        const DWORD block = argc >= 5 ? static_cast<DWORD>(_wtoi(argv[4])) : 8192;
        const std::wstring way = argc >= 6 ? argv[5] : L"whole";
        if (block == 0 ||
            (way != L"whole" && way != L"asked" && way != L"copied" && way != L"busy" && way != L"arrived"))
            return std::printf("bad block or way\n"), 2;
        return Get(argv[2], argv[3], block,
                   way == L"asked"     ? Way::Asked
                   : way == L"copied"  ? Way::Copied
                   : way == L"busy"    ? Way::Busy
                   : way == L"arrived" ? Way::Arrived
                                       : Way::Whole);
    }
    if (argc == 3 && mode == L"sha256")
        return HashRate(_wtoi(argv[2]));
    std::printf("usage: bare_wininet post <host> <port> <rounds> | get <url> <file> [block bytes] "
                "[whole|asked|copied|busy|arrived] | sha256 <MiB>\n");
    return 2;
}
