// Times the real wizard from outside, as the benchmarks need it:
//   wizard_timer check <work folder> <rounds>
//       from Next on the Welcome page to the NewVersion page, median of rounds
//   wizard_timer download <work folder> <package file name> [temp folder]
//       from Next on the NewVersion page ("from" = 1) until the package is
//       complete, or until its download-error box (complete=0); also the
//       process's peak private memory. The wizard keeps the package (and a
//       partial one) in `temp folder` when one is given.
// The settings file and netsetting.xml are prepared by bench/run.sh.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"

using namespace e2e;

namespace
{
double Now()
{
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

int Check(const std::wstring& work, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
    {
        Process wizard;
        wizard.Start(WizardExePath(), work);
        HWND frame = WaitForFrame(wizard.Id());
        if (!frame || !WaitForPage(frame, L"CWelcomeDlg"))
            return std::printf("no wizard\n"), 1;
        const double start = Now();
        Click(Item(frame, 1000));
        if (!WaitUntil([&] { return CurrentPageTag(frame) == L"CNewVersionDlg"; }, 30000, 1))
            return std::printf("no new version\n"), 1;
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("check_median_ms=%.2f\n", times[times.size() / 2]);
    return 0;
}

int Download(const std::wstring& work, const std::wstring& name)
{
    const std::wstring package = TempFolder() + name;
    ::DeleteFileW(package.c_str());
    Process wizard;
    wizard.Start(WizardExePath(), work);
    HWND frame = WaitForFrame(wizard.Id());
    if (!frame || !WaitForPage(frame, L"CNewVersionDlg"))
        return std::printf("no wizard\n"), 1;
    const double start = Now();
    Click(Item(frame, 1000));
    // Complete when the package has its final name; a running client stand-in
    // then holds the wizard at the close-client question. The download-error
    // box ends a transfer that did not complete.
    PROCESS_MEMORY_COUNTERS_EX memory{};
    // A box's caption is the exe's base name, which differs between builds.
    std::wstring caption = WizardExePath();
    caption = caption.substr(caption.find_last_of(L"\\/") + 1);
    caption = caption.substr(0, caption.rfind(L'.'));
    bool failed = false;
    int polls = 0;
    if (!WaitUntil(
            [&]
            {
                // Windows are looked for less often: each look costs the
                // Wine server some work.
                failed = ++polls % 50 == 0 && !TopWindows(wizard.Id(), L"#32770", caption.c_str()).empty();
                return failed || ::GetFileAttributesW(package.c_str()) != INVALID_FILE_ATTRIBUTES;
            },
            600000, 1))
        return std::printf("the download did not end\n"), 1;
    const double ms = Now() - start;
    if (failed)
    {
        std::printf("complete=0 ms=%.0f\n", ms);
        return 0;
    }
    ::GetProcessMemoryInfo(wizard.Handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof memory);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    ::GetFileAttributesExW(package.c_str(), GetFileExInfoStandard, &info);
    const unsigned long long bytes =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    std::printf(
        "complete=1 bytes=%llu ms=%.0f mib_per_s=%.1f peak_private_kib=%llu peak_working_set_kib=%llu\n",
        bytes, ms, bytes / 1048576.0 / (ms / 1000.0),
        static_cast<unsigned long long>(memory.PeakPagefileUsage) / 1024,
        static_cast<unsigned long long>(memory.PeakWorkingSetSize) / 1024);
    wizard.Kill();
    ::DeleteFileW(package.c_str());
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"check")
        return Check(argv[2], _wtoi(argv[3]));
    if ((argc == 4 || argc == 5) && std::wstring(argv[1]) == L"download")
    {
        if (argc == 5)
        {
            ::SetEnvironmentVariableW(L"TEMP", argv[4]);
            ::SetEnvironmentVariableW(L"TMP", argv[4]);
        }
        return Download(argv[2], argv[3]);
    }
    std::printf("usage: wizard_timer check <work> <rounds> | download <work> <package name> [temp]\n");
    return 2;
}
