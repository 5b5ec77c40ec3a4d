#include "application/LiveUpdateDlg.h"

#include <cwchar>

#include "framework/WinApp.h"
#include "pages/CheckVersionDlg.h"
#include "pages/DownloadDlg.h"
#include "pages/FinishDlg.h"
#include "pages/NewVersionDlg.h"
#include "pages/WelcomeDlg.h"
#include "support/RunLog.h"
#include "pages/Edition.h"
#include "framework/WinApp.h"
#include "update/record/LiveUpdateIni.h"

namespace
{
const wchar_t kAlreadyLatestText[] = L"您现在已经是客户端最新版本，无需在线更新！";
const wchar_t kCheckErrorText[] = L"检测服务器版本时发生错误，请重新启动升级程序，进行再次升级";
const wchar_t kLoginPageText[] = L"当前网络需要先登录认证（例如校园网登录页面），请登录后重新启动升级程序。";
const wchar_t kDownloadErrorText[] = L"下载更新包时发生错误，请重新启动升级程序，进行再次升级";
const wchar_t kUpdatesOffText[] = L"在线升级已被系统管理员关闭，如需升级请联系管理员。";
const wchar_t kConfirmCancelText[] = L"客户端将无法完成最新客户端的升级安装操作,\n是否确认退出?";

BOOL CALLBACK AnswerNoInConfirmation(HWND hWnd, LPARAM hOwner)
{
    wchar_t className[8] = {};
    ::GetClassNameW(hWnd, className, 8);
    if (::GetWindow(hWnd, GW_OWNER) == reinterpret_cast<HWND>(hOwner) && wcscmp(className, L"#32770") == 0)
        ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    return TRUE;
}

bool TagIs(const std::wstring& tag, const wchar_t* name)
{
    return _wcsicmp(tag.c_str(), name) == 0;
}

// The check's two pages take milliseconds each to make under Wine, and its
// first connection a few more, on the way from Next to the offer when made
// on demand: they are made while the Welcome page is read, once it is
// painted (a timer's message comes after painting) and well before anyone
// has read it and found Next. Nothing is sent before Next.
const UINT_PTR kPagesAheadTimer = 1;
const UINT kPagesAheadDelayMs = 200;
} // namespace

CLiveUpdateDlg::CLiveUpdateDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_hIcon(::LoadIconW(ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

CLiveUpdateDlg::~CLiveUpdateDlg() = default;

void CLiveUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NEXT, m_btnNext);
    DDX_Control(pDX, IDC_SIDE_PICTURE, m_picSide);
    DDX_Control(pDX, IDC_SEPARATOR, m_lineSep);
    DDX_Control(pDX, IDC_CANCEL_WIZARD, m_btnCancel);
}

BOOL CLiveUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE))
    {
        const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
        if (!about.empty())
        {
            ::AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    ::GetWindowRect(GetDlgItem(IDC_PAGE_AREA), &m_rcPage);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&m_rcPage), 2);

    ProbeIniEncoding();
    wchar_t from[256] = {};
    ReadUpdateSetting(L"Run", L"from", from, 256);
    CDialog* pFirst = nullptr;
    if (wcscmp(from, L"1") == 0)
    {
        CreatePage(m_pNewVersionPage)->ShowOffer();
        pFirst = m_pNewVersionPage.get();
    }
    else
    {
        pFirst = CreatePage(m_pWelcomePage);
        ::SetTimer(m_hWnd, kPagesAheadTimer, kPagesAheadDelayMs, nullptr);
    }
    MakeCurrent(pFirst);

    std::wstring caption = GetWindowText();
    ApplyEditionSubstitution(caption);
    SetWindowText(caption);

    LoadSidePicture();
    return TRUE;
}

void CLiveUpdateDlg::LoadSidePicture()
{
    // Natural size at the standard DPI; at a larger one the picture grows
    // with the dialog it sits in.
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    int cx = 0, cy = 0;
    if (dpi > 96)
    {
        BITMAP info{};
        GdiObject probe(
            ::LoadImageW(ResourceInstance(), MAKEINTRESOURCEW(IDB_SIDE_PICTURE), IMAGE_BITMAP, 0, 0, 0));
        if (probe && ::GetObjectW(probe.Get(), sizeof info, &info))
        {
            cx = ::MulDiv(info.bmWidth, dpi, 96);
            cy = ::MulDiv(info.bmHeight, dpi, 96);
        }
    }
    m_sidePicture.Reset(::LoadImageW(ResourceInstance(), MAKEINTRESOURCEW(IDB_SIDE_PICTURE), IMAGE_BITMAP, cx,
                                     cy, LR_LOADMAP3DCOLORS));
    m_picSide.ModifyStyle(SS_TYPEMASK, SS_BITMAP);
    HBITMAP previous = m_picSide.SetBitmap(static_cast<HBITMAP>(m_sidePicture.Get()));
    // The template's own picture was loaded by the control and is ours now.
    if (previous && previous != m_sidePicture.Get())
        ::DeleteObject(previous);
}

template <typename Page> Page* CLiveUpdateDlg::CreatePage(std::unique_ptr<Page>& slot)
{
    if (!slot)
    {
        slot = std::make_unique<Page>();
        slot->Create(Page::IDD, this);
        slot->MoveWindow(m_rcPage, TRUE);
    }
    return slot.get();
}

void CLiveUpdateDlg::MakeCurrent(CDialog* pPage)
{
    if (m_pCurPage && m_pCurPage != pPage)
        m_pCurPage->ShowWindow(SW_HIDE);
    m_pCurPage = pPage;
    m_pCurPage->ShowWindow(SW_SHOW);
}

void CLiveUpdateDlg::OnNext()
{
    if (!m_pCurPage)
        return;
    const std::wstring tag = m_pCurPage->GetWindowText();
    if (TagIs(tag, L"CWelcomeDlg"))
    {
        // The Welcome page goes before the check page, whose worker starts
        // as it is shown, comes.
        ::KillTimer(m_hWnd, kPagesAheadTimer);
        m_pCurPage->ShowWindow(SW_HIDE);
        CCheckVersionDlg* pPage = CreatePage(m_pCheckPage);
        pPage->Begin();
        MakeCurrent(pPage);
        m_btnNext.EnableWindow(FALSE);
    }
    else if (TagIs(tag, L"CCheckVersionDlg"))
    {
        CNewVersionDlg* pPage = CreatePage(m_pNewVersionPage);
        pPage->ShowOffer();
        MakeCurrent(pPage);
        m_btnNext.EnableWindow(TRUE);
        ::SetFocus(GetDlgItem(IDC_NEXT));
    }
    else if (TagIs(tag, L"CNewVersionDlg"))
    {
        CDialog* const pBefore = m_pCurPage;
        CDialog* pPage = CreatePage(m_pDownloadPage);
        // A page without a download address reports the failure from inside
        // its own creation; the Finish page is then already current and the
        // Download page must not take its place.
        if (m_pCurPage != pBefore)
            return;
        MakeCurrent(pPage);
        m_btnNext.EnableWindow(FALSE);
    }
    else if (TagIs(tag, L"CDownloadDlg"))
    {
        ShowFinishPage();
    }
    else if (TagIs(tag, L"CFinishDlg"))
    {
        CDialog::OnOK();
    }
}

void CLiveUpdateDlg::ShowFinishPage()
{
    CFinishDlg* pPage = CreatePage(m_pFinishPage);
    // A result that arrives while Finish is already current may have
    // relabelled it; it stays the Finish page.
    pPage->SetWindowText(L"CFinishDlg");
    if (!m_strResultText.empty())
        pPage->SetResult(m_nResult, m_strResultText);
    MakeCurrent(pPage);
    m_btnCancel.ShowWindow(SW_HIDE);
    m_btnNext.EnableWindow(TRUE);
    m_btnNext.SetWindowText(L"完成");
    ::SetFocus(GetDlgItem(IDC_NEXT));
}

void CLiveUpdateDlg::OnCancel()
{
    const std::wstring tag = m_pCurPage ? m_pCurPage->GetWindowText() : std::wstring();
    if (TagIs(tag, L"CCheckVersionDlg") || TagIs(tag, L"CDownloadDlg"))
    {
        LogEvent(L"cancel: asked on page " + tag);
        m_bConfirmingCancel = true;
        const int answer = ::MessageBoxW(m_hWnd, kConfirmCancelText, L"提示", MB_YESNO | MB_ICONINFORMATION);
        m_bConfirmingCancel = false;
        LogEvent(answer == IDYES ? L"cancel: confirmed" : L"cancel: not confirmed, the wizard goes on");
        if (answer != IDYES)
            return;
    }
    else
    {
        LogEvent(L"cancel: on page " + tag);
    }
    // From here on no worker may report, and none may start the installer;
    // one that has already started it is left to finish, with the wizard.
    if (m_pDownloadPage && !m_pDownloadPage->TryAbandonWorker())
    {
        LogEvent(L"cancel: ignored, the installation has begun");
        return;
    }
    if (m_pCheckPage)
        m_pCheckPage->AbandonWorker();
    EndDialog(IDCANCEL);
}

LRESULT CLiveUpdateDlg::OnInstallStarting(WPARAM, LPARAM)
{
    if (!m_bConfirmingCancel)
        return 0;
    // The box belongs to this thread; answering it No closes it the way the
    // user would.
    ::EnumThreadWindows(::GetCurrentThreadId(), AnswerNoInConfirmation, reinterpret_cast<LPARAM>(m_hWnd));
    return 0;
}

LRESULT CLiveUpdateDlg::OnWizardNext(WPARAM, LPARAM)
{
    OnNext();
    return 0;
}

LRESULT CLiveUpdateDlg::OnCheckDone(WPARAM wParam, LPARAM)
{
    if (wParam == 0)
    {
        if (m_pCurPage)
            m_pCurPage->SetWindowText(L"CDownloadDlg");
        m_nResult = 0;
        m_strResultText = kAlreadyLatestText;
    }
    OnNext();
    return 0;
}

LRESULT CLiveUpdateDlg::OnCheckError(WPARAM wParam, LPARAM)
{
    if (m_pCurPage)
        m_pCurPage->SetWindowText(L"CDownloadDlg");
    m_nResult = -1;
    m_strResultText = wParam == kCheckErrorLoginPage     ? kLoginPageText
                      : wParam == kCheckErrorSwitchedOff ? kUpdatesOffText
                                                         : kCheckErrorText;
    OnNext();
    return 0;
}

LRESULT CLiveUpdateDlg::OnDownloadError(WPARAM, LPARAM)
{
    m_nResult = -1;
    m_strResultText = kDownloadErrorText;
    ShowFinishPage();
    return 0;
}

LRESULT CLiveUpdateDlg::OnDownloadHeld(WPARAM wParam, LPARAM)
{
    // Switched off is a failure to upgrade; a held version is nothing to do.
    m_nResult = wParam == kPolicyUpdatesOff ? -1 : 0;
    m_strResultText = wParam == kPolicyUpdatesOff ? kUpdatesOffText : kAlreadyLatestText;
    ShowFinishPage();
    return 0;
}

LRESULT CLiveUpdateDlg::OnSysCommand(WPARAM wParam, LPARAM)
{
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX)
    {
        CDialog about(IDD_ABOUTBOX, this);
        about.DoModal();
        return 0;
    }
    SetMsgHandled(false);
    return 0;
}

LRESULT CLiveUpdateDlg::OnPaint(WPARAM, LPARAM)
{
    if (!::IsIconic(m_hWnd))
    {
        SetMsgHandled(false);
        return 0;
    }
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    const RECT rc = GetClientRect();
    const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CLiveUpdateDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

LRESULT CLiveUpdateDlg::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != kPagesAheadTimer)
        return 0;
    ::KillTimer(m_hWnd, kPagesAheadTimer);
    if (m_pCurPage && m_pCurPage == m_pWelcomePage.get())
    {
        CreatePage(m_pCheckPage)->Prepare();
        CreatePage(m_pNewVersionPage);
    }
    return 0;
}

BOOL CLiveUpdateDlg::DestroyWindow()
{
    m_pCurPage = nullptr;
    m_pWelcomePage.reset();
    m_pCheckPage.reset();
    m_pNewVersionPage.reset();
    m_pDownloadPage.reset();
    m_pFinishPage.reset();

    wchar_t path[kIniPathCapacity] = {};
    if (GetLiveUpdateIniPath(path))
        ::DeleteFileW(path);
    return CDialog::DestroyWindow();
}
