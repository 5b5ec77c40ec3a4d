// Times the real wizard from outside, as the benchmarks need it:
//   wizard_timer check <work folder> <rounds>
//       from Next on the Welcome page, pressed a second after the page is
//       shown, to the NewVersion page, median of rounds
//   wizard_timer download <work folder> <package file name> [temp folder]
//       from Next on the NewVersion page ("from" = 1) until the package is
//       complete, or until its download-error box (complete=0); also the
//       process's peak private memory. The wizard keeps the package (and a
//       partial one) in `temp folder` when one is given.
//   wizard_timer respond <work folder> <package file name> [temp folder]
//       the same download, while a WM_NULL goes to the frame every 10 ms
//       with SendMessageTimeout: the round trips' median, 99th percentile
//       and maximum
//   wizard_timer startup <work folder> <rounds> <exe>...
//       from CreateProcess until the program's top-level dialog exists, until
//       it shows a page, and until it and everything in it is painted (no
//       window left with a region to paint); the exes take turns, after one
//       warm-up start each; medians of the rounds
// The settings file and netsetting.xml are prepared by the scripts in bench/.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/Files.h"
#include "harness/Process.h"
#include "harness/Window.h"

using namespace harness;

namespace
{
double Now()
{
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Far shorter than anyone takes to read the Welcome page and find Next.
const DWORD kWelcomeReadingMs = 1000;

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
        // A user reads the Welcome page before pressing Next; the wizard may
        // use that time, and the figure is what the user then waits for.
        ::Sleep(kWelcomeReadingMs);
        const double start = Now();
        Click(Item(frame, 1000));
        // Looking through the frame's pages every millisecond costs the Wine
        // server enough to slow the wizard it times (3 to 5 ms of the check
        // on a machine of this project's kind): the page is looked for until
        // it exists, then only asked whether it is shown.
        HWND offer = nullptr;
        if (!WaitUntil(
                [&]
                {
                    if (!offer)
                        offer = FindPage(frame, L"CNewVersionDlg");
                    return offer && ::IsWindowVisible(offer);
                },
                30000, 1))
            return std::printf("no new version\n"), 1;
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("check_median_ms=%.2f\n", times[times.size() / 2]);
    return 0;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Round trips of a message to the frame, as any other program sending one
// meets them: a WM_NULL every 10 ms, answered by the frame's thread.
class Pinger
{
  public:
    explicit Pinger(HWND frame) : m_frame(frame) {}

    void Tick(double now)
    {
        if (now < m_next)
            return;
        const double sent = Now();
        DWORD_PTR ignored = 0;
        if (!::SendMessageTimeoutW(m_frame, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored))
            ++m_unanswered;
        const double back = Now();
        m_trips.push_back(back - sent);
        // A late answer does not make the next ones bunch up.
        m_next = std::max(m_next + 10, back);
    }

    void Print() const
    {
        std::printf("pings=%zu unanswered=%d ping_median_ms=%.2f ping_p99_ms=%.2f ping_max_ms=%.2f\n",
                    m_trips.size(), m_unanswered, Percentile(m_trips, 0.5), Percentile(m_trips, 0.99),
                    Percentile(m_trips, 1.0));
    }

  private:
    HWND m_frame;
    double m_next = 0;
    int m_unanswered = 0;
    std::vector<double> m_trips;
};

int Download(const std::wstring& work, const std::wstring& name, bool ping)
{
    const std::wstring package = TempFolder() + name;
    ::DeleteFileW(package.c_str());
    Process wizard;
    wizard.Start(WizardExePath(), work);
    HWND frame = WaitForFrame(wizard.Id());
    if (!frame || !WaitForPage(frame, L"CNewVersionDlg"))
        return std::printf("no wizard\n"), 1;
    Pinger pinger(frame);
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
                if (ping)
                    pinger.Tick(Now());
                // Windows are looked for less often: each look costs the
                // Wine server some work.
                failed = ++polls % 50 == 0 && !TopWindows(wizard.Id(), L"#32770", caption.c_str()).empty();
                return failed || ::GetFileAttributesW(package.c_str()) != INVALID_FILE_ATTRIBUTES;
            },
            600000, 1))
        return std::printf("the download did not end\n"), 1;
    const double ms = Now() - start;
    if (ping)
        pinger.Print();
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

struct StartupWindows
{
    DWORD pid;
    HWND frame;
};

BOOL CALLBACK FindTopDialog(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<StartupWindows*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != found->pid || ClassOf(window) != L"#32770")
        return TRUE;
    found->frame = window;
    return FALSE;
}

// Any shown window inside the frame that still has something to paint, and
// whether a page (a child dialog) is shown.
struct PaintState
{
    bool pageShown = false;
    bool unpainted = false;
};

BOOL CALLBACK InspectChild(HWND window, LPARAM param)
{
    auto* state = reinterpret_cast<PaintState*>(param);
    if (!::IsWindowVisible(window))
        return TRUE;
    state->pageShown = state->pageShown || ClassOf(window) == L"#32770";
    state->unpainted = state->unpainted || ::GetUpdateRect(window, nullptr, FALSE);
    return TRUE;
}

// One start of `exe`: milliseconds from CreateProcess until its top-level
// dialog exists, until it shows a page, and until all of it is painted.
bool TimeStartup(const std::wstring& exe, const std::wstring& work, double (&times)[3])
{
    const double start = Now();
    Process program;
    if (!program.Start(exe, work))
        return false;
    StartupWindows found{program.Id(), nullptr};
    bool shown = false;
    const bool painted = WaitUntil(
        [&]
        {
            if (!found.frame)
            {
                ::EnumWindows(FindTopDialog, reinterpret_cast<LPARAM>(&found));
                if (!found.frame)
                    return false;
                times[0] = Now() - start;
            }
            if (!::IsWindowVisible(found.frame))
                return false;
            PaintState state;
            ::EnumChildWindows(found.frame, InspectChild, reinterpret_cast<LPARAM>(&state));
            if (!state.pageShown)
                return false;
            if (!shown)
                times[1] = Now() - start, shown = true;
            if (state.unpainted || ::GetUpdateRect(found.frame, nullptr, FALSE))
                return false;
            times[2] = Now() - start;
            return true;
        },
        30000, 1);
    // Closed as the user would; a program that does not go is ended.
    if (found.frame)
        ::PostMessageW(found.frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!program.WaitForExit(10000))
        program.Kill();
    return painted;
}

int Startup(const std::wstring& work, int rounds, const std::vector<std::wstring>& exes)
{
    std::vector<std::vector<double>> times(exes.size() * 3);
    for (int round = 0; round <= rounds; ++round)
    {
        for (size_t i = 0; i < exes.size(); ++i)
        {
            double once[3] = {};
            if (!TimeStartup(exes[i], work, once))
                return std::printf("no painted dialog from %ls\n", exes[i].c_str()), 1;
            // Round 0 warms up: the first start reads everything from disk.
            for (int phase = 0; round > 0 && phase < 3; ++phase)
                times[i * 3 + phase].push_back(once[phase]);
        }
    }
    for (size_t i = 0; i < exes.size(); ++i)
    {
        const std::wstring name = exes[i].substr(exes[i].find_last_of(L"\\/") + 1);
        std::printf("exe=%ls created_median_ms=%.1f shown_median_ms=%.1f painted_median_ms=%.1f\n",
                    name.c_str(), Percentile(times[i * 3], 0.5), Percentile(times[i * 3 + 1], 0.5),
                    Percentile(times[i * 3 + 2], 0.5));
    }
    // The first exe against the second, start to painted, round by round: two
    // starts next to each other meet the same load of a shared machine.
    if (exes.size() >= 2)
    {
        std::vector<double> ratios;
        for (size_t round = 0; round < times[2].size(); ++round)
            ratios.push_back(times[2][round] / times[5][round]);
        std::printf("paired_ratio_median=%.3f\n", Percentile(ratios, 0.5));
    }
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"check")
        return Check(argv[2], _wtoi(argv[3]));
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if ((argc == 4 || argc == 5) && (mode == L"download" || mode == L"respond"))
    {
        if (argc == 5)
        {
            ::SetEnvironmentVariableW(L"TEMP", argv[4]);
            ::SetEnvironmentVariableW(L"TMP", argv[4]);
        }
        return Download(argv[2], argv[3], mode == L"respond");
    }
    if (argc >= 5 && mode == L"startup")
        return Startup(argv[2], _wtoi(argv[3]), std::vector<std::wstring>(argv + 4, argv + argc));
    std::printf("usage: wizard_timer check <work> <rounds> | download|respond <work> <package name> [temp]"
                " | startup <work> <rounds> <exe>...\n");
    return 2;
}
