#include "harness/Window.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/ScopedHandle.h"
#include "harness/Process.h"

namespace harness
{
namespace
{
struct WindowQuery
{
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD threadId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND hWnd, LPARAM lParam)
{
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD pid = 0;
    const DWORD threadId = ::GetWindowThreadProcessId(hWnd, &pid);
    if ((query->pid && pid != query->pid) || (query->threadId && threadId != query->threadId) ||
        !::IsWindowVisible(hWnd) || (query->className && ClassOf(hWnd) != query->className))
        return TRUE;
    wchar_t caption[512] = {};
    ::InternalGetWindowText(hWnd, caption, 512);
    if (!query->caption || query->caption == std::wstring(caption))
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

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD threadId)
{
    WindowQuery query{pid, className, caption, threadId, {}};
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

void PressCancel(HWND hFrame, int cancelId, CancelWay way)
{
    if (way == CancelWay::Button)
        Click(::GetDlgItem(hFrame, cancelId));
    else if (way == CancelWay::Escape)
        PressKey(hFrame, VK_ESCAPE);
    else
        SystemCommand(hFrame, SC_CLOSE);
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

MessageBoxAnswerer::MessageBoxAnswerer(DWORD threadId, const std::wstring& caption)
    : m_thread(
          [this, threadId, caption]
          {
              HWND box = nullptr;
              WaitUntil(
                  [&]
                  {
                      const std::vector<HWND> boxes = TopWindows(0, L"#32770", caption.c_str(), threadId);
                      box = boxes.empty() ? nullptr : boxes.front();
                      m_text = box ? MessageBoxText(box) : std::wstring();
                      return m_stop || !m_text.empty();
                  });
              if (!m_text.empty())
                  AnswerMessageBox(box, IDOK);
          })
{
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::wstring MessageBoxAnswerer::Text()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    return m_text;
}

namespace
{
struct MemoryDcTraits
{
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::DeleteDC(h); }
};
} // namespace

bool SaveScreenshot(const std::wstring& path)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    const WindowDC screen(nullptr);
    if (!screen.Get())
        return false;
    const ScopedHandle<MemoryDcTraits> memory(::CreateCompatibleDC(screen.Get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const GdiObject bitmap(::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return false;
    const HGDIOBJ old = ::SelectObject(memory.Get(), bitmap.Get());
    ::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), 0, 0, SRCCOPY);
    ::SelectObject(memory.Get(), old);
    ::GdiFlush();
    const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    const FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), &header, sizeof header, &written, nullptr) &&
           ::WriteFile(file.Get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
           ::WriteFile(file.Get(), bits, imageBytes, &written, nullptr);
}
} // namespace harness
