// The fuzzing run: every routine of the program that reads outside input is
// fed generated inputs in-process, each input judged by the routine's checks
// and timed. The inputs that ever failed (tests/fuzz/regressions) are
// replayed first, every run. Under each routine's line, each check says how
// many inputs it judged and how many of those failed it.
//
//   fuzz_inputs --regressions DIR [--inputs N] [--seed S] [--only ROUTINE] [--save DIR]
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "framework/ScopedHandle.h"
#include "fuzz/Routines.h"
#include "support/Files.h"
#include "support/CodePages.h"
#include "update/record/LiveUpdateIni.h"

namespace
{
struct Options
{
    size_t inputs = 2000;
    uint64_t seed = 1;
    std::string only;
    std::wstring regressions;
    std::wstring save;
};

const char kTimeCheck[] = "no crash, and done within the time bound";
const char kEveryInput[] = "every input";

struct Stats
{
    size_t inputs = 0;
    size_t failures = 0;
    double slowestMs = 0;
    std::string slowest;
    // Per check and class: the inputs it judged, and how many of them failed it.
    std::map<std::pair<std::string, std::string>, std::pair<size_t, size_t>> judged;
};

// A path given the Unix way (by ctest or the shell) as Wine sees it, made
// whole before the run moves to a folder of its own.
std::wstring WindowsPath(const char* path)
{
    std::wstring result = DecodeText(path, CP_UTF8);
    if (!result.empty() && result[0] == L'/')
        result = L"Z:" + result;
    std::replace(result.begin(), result.end(), L'/', L'\\');
    wchar_t full[4 * MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(result.c_str(), 4 * MAX_PATH, full, nullptr);
    return length > 0 && length < 4 * MAX_PATH ? std::wstring(full, length) : result;
}

// What the run puts in the prefix, and takes away again: nothing of it may
// disturb the tests that run after it.
struct Places
{
    FuzzPlaces places;
    std::wstring iniFolder, workFolder;
    bool madeIniFolder = false;
    std::optional<std::string> savedIni;
} g_places;

void CleanUp()
{
    ::DeleteFileW(g_places.places.iniPath.c_str());
    if (g_places.savedIni)
        WriteInputFile(g_places.places.iniPath, *g_places.savedIni);
    if (g_places.madeIniFolder)
        ::RemoveDirectoryW(g_places.iniFolder.c_str());
    ::SetCurrentDirectoryW(TemporaryFolder().c_str());
    ::DeleteFileW((g_places.workFolder + L"\\netsetting.xml").c_str());
    ::DeleteFileW(g_places.places.sidePath.c_str());
    ::RemoveDirectoryW(g_places.places.nameFolder.c_str());
    ::RemoveDirectoryW(g_places.workFolder.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, g_places.places.registryKey.c_str());
}

bool SetUpPlaces()
{
    FuzzPlaces& places = g_places.places;
    places.iniPath = LiveUpdateIniPath();
    places.registryKey = L"Software\\QVXLiveUpdateFuzz";
    if (places.iniPath.empty())
        return false;
    // A settings file already there is put back at the end.
    g_places.savedIni = ReadFileHead(places.iniPath.c_str(), kMaxIniFileBytes + 1);
    g_places.iniFolder = places.iniPath.substr(0, places.iniPath.rfind(L'\\'));
    g_places.madeIniFolder = ::GetFileAttributesW(g_places.iniFolder.c_str()) == INVALID_FILE_ATTRIBUTES;
    ::SHCreateDirectoryExW(nullptr, g_places.iniFolder.c_str(), nullptr);
    g_places.workFolder = TemporaryFolder() + L"qvx-fuzz-" + std::to_wstring(::GetCurrentProcessId());
    places.sidePath = g_places.workFolder + L"\\platform.ini";
    places.nameFolder = g_places.workFolder + L"\\names\\";
    return ::CreateDirectoryW(g_places.workFolder.c_str(), nullptr) &&
           ::CreateDirectoryW(places.nameFolder.c_str(), nullptr) &&
           ::SetCurrentDirectoryW(g_places.workFolder.c_str());
}

void RunOne(const Routine& routine, const std::string& input, const std::string& label, Stats& stats,
            const Options& options)
{
    Checker check;
    SetCurrentInput(routine.name, &input);
    const auto start = std::chrono::steady_clock::now();
    try
    {
        routine.run(input, check);
    }
    catch (const std::exception& e)
    {
        check.Expect(kTimeCheck, kEveryInput, false, std::string("exception: ") + e.what());
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() -
        check.UntimedMs();
    SetCurrentInput(nullptr, nullptr);
    check.Expect(kTimeCheck, kEveryInput, ms <= kTimeBoundMs,
                 "took " + std::to_string(static_cast<long>(ms)) + " ms");
    ++stats.inputs;
    for (const auto& [name, failed] : check.Judged())
    {
        ++stats.judged[name].first;
        stats.judged[name].second += failed ? 1 : 0;
    }
    if (ms > stats.slowestMs)
    {
        stats.slowestMs = ms;
        stats.slowest = label + " (" + std::to_string(input.size()) + " bytes)";
    }
    if (check.Failure().empty())
        return;
    ++stats.failures;
    std::printf("FAIL %s %s (%zu bytes): %s\n", routine.name, label.c_str(), input.size(),
                check.Failure().c_str());
    if (!options.save.empty())
        std::printf("     kept as %ls\n", SaveInput(options.save, routine.name, label, input).c_str());
    std::fflush(stdout);
}

// A run this long meets every class of outcome of every check: a class that
// judged nothing fails it, for a check could not have failed there.
const size_t kInputsThatJudgeEveryCheck = 1000;

// Under a routine's line, each of its checks: what it compares, then per
// class of outcome the inputs it judged and how many of them failed it.
// Returns the classes that judged nothing when `mustJudge`.
size_t PrintChecks(const Routine& routine, const Stats& stats, bool mustJudge)
{
    size_t idle = 0;
    std::vector<CheckSpec> checks = {{kTimeCheck, {kEveryInput}}};
    checks.insert(checks.end(), routine.checks.begin(), routine.checks.end());
    for (const CheckSpec& check : checks)
    {
        std::printf("    %s\n", check.name);
        for (const char* outcome : check.classes)
        {
            const auto found = stats.judged.find({check.name, outcome});
            const size_t judged = found == stats.judged.end() ? 0 : found->second.first;
            const size_t failed = found == stats.judged.end() ? 0 : found->second.second;
            std::printf("      %8zu judged, %zu failed: %s%s\n", judged, failed, outcome,
                        judged == 0 && mustJudge ? "  FAIL: never met" : "");
            idle += judged == 0 && mustJudge ? 1 : 0;
        }
    }
    // A class the routine judges in but does not declare is a misspelling.
    for (const auto& [key, counts] : stats.judged)
    {
        const bool declared = std::any_of(
            checks.begin(), checks.end(),
            [&](const CheckSpec& c)
            {
                return key.first == c.name && std::any_of(c.classes.begin(), c.classes.end(),
                                                          [&](const char* o) { return key.second == o; });
            });
        if (!declared)
        {
            std::printf("    FAIL: %s judged in an undeclared class %s\n", key.first.c_str(),
                        key.second.c_str());
            ++idle;
        }
    }
    return idle;
}

// The regression files, by routine: "<routine>-<what>.bin".
std::vector<std::pair<std::string, std::wstring>> Regressions(const std::wstring& folder)
{
    std::vector<std::pair<std::string, std::wstring>> files;
    WIN32_FIND_DATAW found{};
    const FindHandle search(::FindFirstFileW((folder + L"\\*.bin").c_str(), &found));
    for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &found))
        files.push_back({Utf8(found.cFileName), folder + L"\\" + found.cFileName});
    std::sort(files.begin(), files.end());
    return files;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i];
        if (name == "--inputs")
            options.inputs = std::strtoull(argv[i + 1], nullptr, 10);
        else if (name == "--seed")
            options.seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (name == "--only")
            options.only = argv[i + 1];
        else if (name == "--regressions")
            options.regressions = WindowsPath(argv[i + 1]);
        else if (name == "--save")
            options.save = WindowsPath(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1;
}
} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        std::printf(
            "usage: fuzz_inputs --regressions DIR [--inputs N] [--seed S] [--only ROUTINE] [--save DIR]\n");
        return 2;
    }
    if (!SetUpPlaces())
    {
        CleanUp();
        return 2;
    }
    if (!options.save.empty())
        ::SHCreateDirectoryExW(nullptr, options.save.c_str(), nullptr);
    WatchForCrashesAndHangs(options.save, CleanUp);

    std::vector<Routine> routines;
    AddDocumentRoutines(routines, g_places.places);
    AddNetSettingRoutine(routines);
    AddCheckRoutine(routines);
    AddTextRoutines(routines, g_places.places);
    AddTrustRoutines(routines);
    AddPackageNameRoutine(routines, g_places.places);
    // A folder that is not there (or none given), or a routine that is not
    // known, would replay or run nothing and pass.
    const bool onlyKnown =
        options.only.empty() || std::any_of(routines.begin(), routines.end(),
                                            [&](const Routine& r) { return options.only == r.name; });
    const DWORD folder = ::GetFileAttributesW(options.regressions.c_str());
    const bool folderThere = folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY);
    const auto regressions = Regressions(options.regressions);
    if (!onlyKnown || options.regressions.empty() || !folderThere || regressions.empty())
    {
        std::printf("fuzz: %s\n", !onlyKnown ? "no routine of that name"
                                  : options.regressions.empty()
                                      ? "no regressions folder given (--regressions)"
                                  : !folderThere ? "no regressions folder there"
                                                 : "no regression in the regressions folder");
        CleanUp();
        return 2;
    }
    size_t failures = 0;
    std::printf("fuzz: seed %llu, %zu inputs per routine, %zu regressions\n",
                static_cast<unsigned long long>(options.seed), options.inputs, regressions.size());
    std::printf("%-12s %8s %9s %12s  %s\n", "routine", "inputs", "failures", "slowest ms", "slowest input");
    for (Routine& routine : routines)
    {
        if (!options.only.empty() && options.only != routine.name)
            continue;
        Stats stats;
        const std::string prefix = std::string(routine.name) + "-";
        for (const auto& file : regressions)
        {
            if (file.first.compare(0, prefix.size(), prefix) == 0)
                RunOne(routine, ReadInputFile(file.second), file.first, stats, options);
        }
        uint64_t routineSeed = options.seed;
        for (const char* c = routine.name; *c; ++c)
            routineSeed = routineSeed * 131 + static_cast<unsigned char>(*c);
        Generator random(routineSeed);
        for (size_t i = 0; i < options.inputs; ++i)
            RunOne(routine, random.Input(routine.seeds, routine.extreme),
                   "s" + std::to_string(options.seed) + "-" + std::to_string(i), stats, options);
        std::printf("%-12s %8zu %9zu %12.1f  %s\n", routine.name, stats.inputs, stats.failures,
                    stats.slowestMs, stats.slowest.c_str());
        failures +=
            stats.failures + PrintChecks(routine, stats, options.inputs >= kInputsThatJudgeEveryCheck);
        std::fflush(stdout);
    }
    for (const auto& file : regressions)
    {
        const std::string routine = file.first.substr(0, file.first.find('-'));
        const bool known = std::any_of(routines.begin(), routines.end(),
                                       [&routine](const Routine& r) { return routine == r.name; });
        if (!known)
        {
            std::printf("FAIL regression %s names no routine\n", file.first.c_str());
            ++failures;
        }
    }
    PROCESS_MEMORY_COUNTERS memory{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("peak memory: %.1f MB (working set)\n", memory.PeakWorkingSetSize / 1048576.0);
    std::printf("fuzz: %zu failures\n", failures);
    CleanUp();
    return failures == 0 ? 0 : 1;
}

void WriteInputFile(const std::wstring& path, const std::string& bytes)
{
    static ULONGLONG stamp = 125911584000000000ull; // 2000-01-01, then a second per file
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    stamp += 10 * 1000 * 1000;
    const FILETIME time{static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)};
    ::SetFileTime(file.Get(), nullptr, nullptr, &time);
}

std::string ReadInputFile(const std::wstring& path)
{
    return ReadFileHead(path.c_str(), 64 * 1024 * 1024).value_or(std::string());
}

std::string Utf8(const std::wstring& text)
{
    return EncodeText(text, CP_UTF8);
}

bool StrictUtf8(const std::string& bytes, std::wstring& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    const int size = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0)
        return false;
    text.resize(static_cast<size_t>(units));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, &text[0], units) == units;
}

bool IsStrictUtf8(const std::string& bytes)
{
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

bool IsUtf16WithMark(const std::string& bytes)
{
    return bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
}
