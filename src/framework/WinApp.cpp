#include "framework/WinApp.h"

#include <vector>

namespace
{
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp(const wchar_t* lpszAppName)
{
    if (lpszAppName)
        m_strAppName = lpszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

int CWinApp::Run()
{
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

const std::wstring& CWinApp::GetAppName() const
{
    if (m_strAppName.empty())
        m_strAppName = ModuleBaseName();
    return m_strAppName;
}

void CWinApp::BeginWaitCursor() const
{
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

CWinApp* GetApp()
{
    return g_pApp;
}

std::wstring ApplicationTitle()
{
    return g_pApp ? g_pApp->GetAppName() : ModuleBaseName();
}

HINSTANCE ResourceInstance()
{
    return ::GetModuleHandleW(nullptr);
}

std::wstring LoadResourceString(UINT id)
{
    const wchar_t* resource = nullptr;
    // With a zero buffer size LoadString hands out a read-only pointer to the
    // resource text itself, which is not zero-terminated.
    const int length = ::LoadStringW(ResourceInstance(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource)
        return std::wstring();
    return std::wstring(resource, static_cast<size_t>(length));
}

std::wstring ModuleBaseName()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;)
    {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size())
        {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring name(path.begin(), path.end());
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot != 0)
        name.erase(dot);
    return name;
}

int AppMessageBox(const std::wstring& text, UINT nType)
{
    if ((nType & MB_ICONMASK) == 0)
        nType |= MB_ICONEXCLAMATION;
    return ::MessageBoxW(nullptr, text.c_str(), ApplicationTitle().c_str(), nType);
}

int RunApplication(HINSTANCE hInstance)
{
    CWinApp* app = GetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
