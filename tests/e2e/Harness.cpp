#include "Harness.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

namespace e2e
{
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;)
    {
        if (condition())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(pollMs); // polling interval, not synchronisation
    }
}

std::wstring TestProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring WizardExePath()
{
    wchar_t fromEnv[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"QVX_EXE", fromEnv, MAX_PATH))
        return fromEnv;
    return TestProgramFolder() + L"..\\QVXLiveUpdate.exe";
}

Process::~Process()
{
    Kill();
}

bool Process::Start(const std::wstring& exe, const std::wstring& workDir, const std::wstring& args,
                    const std::wstring& outputPath)
{
    Kill();
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    // The program gets no standard handles of ours: a pipe the test runner
    // reads would otherwise stay open until the program's process is gone.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE output = outputPath.empty() ? INVALID_HANDLE_VALUE
                                       : ::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                       &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    if (output != INVALID_HANDLE_VALUE)
        si.hStdOutput = si.hStdError = output;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        ::CloseHandle(nul);
    if (output != INVALID_HANDLE_VALUE)
        ::CloseHandle(output);
    if (!started)
        return false;
    ::CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    return true;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (!m_process || ::WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        ::GetExitCodeProcess(m_process, exitCode);
    return true;
}

bool Process::IsRunning() const
{
    return m_process && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

void Process::Kill()
{
    if (!m_process)
        return;
    if (IsRunning())
    {
        ::TerminateProcess(m_process, 99);
        ::WaitForSingleObject(m_process, 10000);
    }
    ::CloseHandle(m_process);
    m_process = nullptr;
    m_pid = 0;
}

namespace
{
struct WindowQuery
{
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND hWnd, LPARAM lParam)
{
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != query->pid || !::IsWindowVisible(hWnd))
        return TRUE;
    if (query->className && ClassOf(hWnd) != query->className)
        return TRUE;
    if (query->caption && TextOf(hWnd) != query->caption)
        return TRUE;
    query->found.push_back(hWnd);
    return TRUE;
}

BOOL CALLBACK CollectChildDialog(HWND hWnd, LPARAM lParam)
{
    auto* found = reinterpret_cast<std::vector<HWND>*>(lParam);
    if (ClassOf(hWnd) == L"#32770")
        found->push_back(hWnd);
    return TRUE;
}

std::vector<HWND> ChildDialogs(HWND hFrame)
{
    std::vector<HWND> found;
    ::EnumChildWindows(hFrame, CollectChildDialog, reinterpret_cast<LPARAM>(&found));
    // Only direct children are pages.
    found.erase(std::remove_if(found.begin(), found.end(), [&](HWND h) { return ::GetParent(h) != hFrame; }),
                found.end());
    return found;
}
} // namespace

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className, const wchar_t* caption)
{
    WindowQuery query{pid, className, caption, {}};
    ::EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForTopWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&]
        {
            auto windows = TopWindows(pid, className, caption);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::wstring ClassOf(HWND hWnd)
{
    wchar_t name[256] = {};
    ::GetClassNameW(hWnd, name, 256);
    return name;
}

std::wstring TextOf(HWND hWnd)
{
    // The wizard may change the text between the two messages; a copy that fills the buffer may be cut short.
    for (;;)
    {
        DWORD_PTR length = 0;
        if (!::SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
            return L"<no answer>";
        std::vector<wchar_t> buffer(length + 64, L'\0');
        DWORD_PTR copied = 0;
        if (!::SendMessageTimeoutW(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                                   SMTO_ABORTIFHUNG, 5000, &copied))
            return L"<no answer>";
        if (copied + 1 < buffer.size())
            return std::wstring(buffer.data(), copied);
    }
}

bool IsVisible(HWND hWnd)
{
    return hWnd && ::IsWindowVisible(hWnd);
}

bool IsEnabled(HWND hWnd)
{
    return hWnd && ::IsWindowEnabled(hWnd);
}

HWND Item(HWND hDlg, int id)
{
    return ::GetDlgItem(hDlg, id);
}

HWND WaitForFrame(DWORD pid, DWORD timeoutMs)
{
    return WaitForTopWindow(pid, L"#32770", L"Qora校园版在线升级", timeoutMs);
}

HWND WaitForCloseClientQuestion(DWORD pid, DWORD timeoutMs)
{
    return WaitForTopWindow(pid, L"#32770", L"Qora企业版在线升级", timeoutMs);
}

HWND CurrentPage(HWND hFrame)
{
    HWND current = nullptr;
    for (HWND page : ChildDialogs(hFrame))
    {
        if (::IsWindowVisible(page))
        {
            if (current)
                return nullptr; // two pages shown at once is never right
            current = page;
        }
    }
    return current;
}

std::wstring CurrentPageTag(HWND hFrame)
{
    HWND page = CurrentPage(hFrame);
    return page ? TextOf(page) : std::wstring();
}

bool WaitForPage(HWND hFrame, const wchar_t* tag, DWORD timeoutMs)
{
    return WaitUntil([&] { return CurrentPageTag(hFrame) == tag; }, timeoutMs);
}

int CountPages(HWND hFrame, const wchar_t* tag)
{
    int count = 0;
    for (HWND page : ChildDialogs(hFrame))
        count += TextOf(page) == tag ? 1 : 0;
    return count;
}

HWND FindPage(HWND hFrame, const wchar_t* tag)
{
    for (HWND page : ChildDialogs(hFrame))
        if (TextOf(page) == tag)
            return page;
    return nullptr;
}

HWND FindPageWithItem(HWND hFrame, int id)
{
    for (HWND page : ChildDialogs(hFrame))
        if (::GetDlgItem(page, id))
            return page;
    return nullptr;
}

int ProgressOf(HWND hBar)
{
    DWORD_PTR position = 0;
    ::SendMessageTimeoutW(hBar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    return static_cast<int>(position);
}

void Click(HWND hButton)
{
    ::PostMessageW(hButton, BM_CLICK, 0, 0);
}

void PressKey(HWND hAnyWindowOfThread, WORD vk)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(hAnyWindowOfThread, nullptr);
    HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : hAnyWindowOfThread;
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    ::PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
}

void SystemCommand(HWND hFrame, WPARAM command)
{
    ::PostMessageW(hFrame, WM_SYSCOMMAND, command, 0);
}

LRESULT SendWizardMessage(HWND hFrame, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(hFrame, msg, wParam, lParam, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

HWND WaitForMessageBox(DWORD pid, const wchar_t* caption, DWORD timeoutMs)
{
    return WaitForTopWindow(pid, L"#32770", caption, timeoutMs);
}

std::wstring MessageBoxText(HWND hBox)
{
    // The box's text is the static control with id 0xFFFF.
    return TextOf(::GetDlgItem(hBox, 0xFFFF));
}

void AnswerMessageBox(HWND hBox, int buttonId)
{
    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

bool SaveScreenshot(const std::wstring& path)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return false;
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap && bits)
    {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::GdiFlush();
        const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + imageBytes;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
        {
            DWORD written = 0;
            saved = ::WriteFile(file, &header, sizeof header, &written, nullptr) &&
                    ::WriteFile(file, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                    ::WriteFile(file, bits, imageBytes, &written, nullptr);
            ::CloseHandle(file);
        }
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}
} // namespace e2e
