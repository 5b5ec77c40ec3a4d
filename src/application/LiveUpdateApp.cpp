#include "application/LiveUpdateApp.h"

#include <commctrl.h>
#include <objbase.h>

#include "application/LiveUpdateDlg.h"

BOOL CLiveUpdateApp::InitInstance()
{
    m_hMutex.Reset(::CreateMutexW(nullptr, TRUE, L"QOravel_LiveUpdate"));
    if (!m_hMutex)
    {
        AppMessageBox(L"创建系统实例时发生错误，请重新启动");
        return FALSE;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        AppMessageBox(L"程序已经在运行，不能运行多个实例，谢谢！");
        return FALSE;
    }

    ::CoInitialize(nullptr);
    ::InitCommonControls();

    {
        CLiveUpdateDlg dlg(nullptr);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int CLiveUpdateApp::ExitInstance()
{
    ::CoUninitialize();
    return CWinApp::ExitInstance();
}
