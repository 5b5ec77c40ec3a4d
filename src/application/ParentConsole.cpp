#include "application/ParentConsole.h"

#include <windows.h>

#include "framework/ScopedHandle.h"
#include "support/CodePages.h"

namespace
{
bool WriteToConsole(HANDLE console, const std::wstring& text)
{
    DWORD written = 0;
    return ::WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}
} // namespace

bool WriteToParentConsole(const std::wstring& text)
{
    // Attached once. Access denied means a console is there already: some
    // systems give a program started from one its parent's console at once.
    static const bool attached =
        ::AttachConsole(ATTACH_PARENT_PROCESS) || ::GetLastError() == ERROR_ACCESS_DENIED;
    if (!attached)
        return false;
    // "> file" or a pipe: the text goes there, in the console's code page as
    // the console's other programs write theirs.
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A handle value left from the parent that means nothing here is unknown.
    if (output && output != INVALID_HANDLE_VALUE && ::GetFileType(output) != FILE_TYPE_UNKNOWN)
    {
        if (::GetConsoleMode(output, &mode))
            return WriteToConsole(output, text);
        const std::string bytes = EncodeText(text, ::GetConsoleOutputCP());
        DWORD written = 0;
        return ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) !=
               FALSE;
    }
    FileHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return console && WriteToConsole(console.Get(), text);
}
