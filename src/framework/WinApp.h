#pragma once
// CWinApp: the application object. The program defines exactly one, as a
// global; RunApplication drives it from the process entry point.

#include <windows.h>
#include <string>

class CWnd;

class CWinApp
{
  public:
    // Without a name the title is the executable's file name without its
    // extension.
    explicit CWinApp(const wchar_t* lpszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message loop, for an application whose initialisation returns true.
    virtual int Run();

    const std::wstring& GetAppName() const;
    void BeginWaitCursor() const;

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

  private:
    mutable std::wstring m_strAppName;
};

CWinApp* GetApp();
// The application's title: the application object's name, or the
// executable's base name where there is no application object.
std::wstring ApplicationTitle();
// The module that holds the dialog templates, strings and pictures.
HINSTANCE ResourceInstance();
// String resource `id` of the program, or empty when there is none.
std::wstring LoadResourceString(UINT id);
// The executable's file name without folder and extension.
std::wstring ModuleBaseName();
// The application message box: no owner, the application title as caption,
// and the exclamation icon unless the caller names another.
int AppMessageBox(const std::wstring& text, UINT nType = MB_OK);
// Entry point work: initialisation, then either the exit or the loop.
int RunApplication(HINSTANCE hInstance);
