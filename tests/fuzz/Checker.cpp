#include "fuzz/Checker.h"

#include <cstdio>
#include <exception>
#include <thread>

#include "framework/ScopedHandle.h"

namespace
{
const size_t kPage = 4096;
// A call that has not returned after this long is a hang: the run ends.
const DWORD kHangMs = 60 * 1000;

std::wstring g_saveFolder;
void (*g_cleanUp)() = nullptr;
const char* volatile g_routine = nullptr;
const std::string* volatile g_input = nullptr;
volatile DWORD g_started = 0;

void ReportAndEnd(const char* what)
{
    std::printf("\n%s in routine %s", what, g_routine ? g_routine : "(none)");
    if (g_routine && g_input && !g_saveFolder.empty())
        std::printf(", input kept as %ls", SaveInput(g_saveFolder, g_routine, what, *g_input).c_str());
    std::printf("\n");
    std::fflush(stdout);
    if (g_cleanUp)
        g_cleanUp();
    ::TerminateProcess(::GetCurrentProcess(), 3);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    char what[64];
    std::snprintf(what, sizeof what, "crash-%08lX",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    ReportAndEnd(what);
    return EXCEPTION_EXECUTE_HANDLER;
}
} // namespace

GuardedBytes::GuardedBytes(const std::string& bytes) : m_size(bytes.size())
{
    const size_t pages = (m_size + kPage - 1) / kPage + 2;
    m_block = ::VirtualAlloc(nullptr, pages * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!m_block)
        throw std::bad_alloc();
    unsigned char* base = static_cast<unsigned char*>(m_block);
    DWORD old = 0;
    ::VirtualProtect(base, kPage, PAGE_NOACCESS, &old);
    ::VirtualProtect(base + (pages - 1) * kPage, kPage, PAGE_NOACCESS, &old);
    m_data = base + (pages - 1) * kPage - m_size;
    bytes.copy(reinterpret_cast<char*>(m_data), m_size);
}

GuardedBytes::~GuardedBytes()
{
    ::VirtualFree(m_block, 0, MEM_RELEASE);
}

void WatchForCrashesAndHangs(const std::wstring& saveFolder, void (*cleanUp)())
{
    g_saveFolder = saveFolder;
    g_cleanUp = cleanUp;
    ::SetUnhandledExceptionFilter(OnCrash);
    std::set_terminate([] { ReportAndEnd("terminate"); });
    std::thread(
        []
        {
            for (;;)
            {
                ::Sleep(500);
                if (g_input && ::GetTickCount() - g_started > kHangMs)
                    ReportAndEnd("hang");
            }
        })
        .detach();
}

void SetCurrentInput(const char* routine, const std::string* input)
{
    g_started = ::GetTickCount();
    g_routine = routine;
    g_input = input;
}

std::wstring SaveInput(const std::wstring& folder, const char* routine, const std::string& label,
                       const std::string& input)
{
    std::wstring path = folder + L"\\" + std::wstring(routine, routine + strlen(routine)) + L"-" +
                        std::wstring(label.begin(), label.end()) + L".bin";
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr))
        return L"(not saved)";
    return path;
}
