// The hyperlink control: the browser's command line, the shell's error
// texts, the registry's byte budget, and the control on the download page's
// template, looked at and clicked as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <tuple>

#include "framework/WinApp.h"
#include "harness/Files.h"
#include "harness/Process.h"
#include "unit/support/LinkStaticPage.h"

using namespace harness;
using namespace probes;

namespace
{
const COLORREF kLinkColour = RGB(0, 0, 238);
const COLORREF kVisitedColour = RGB(85, 26, 139);
const wchar_t kTestKey[] = L"Software\\QVXLiveUpdateTest";

void ExpectRect(const RECT& expected, const RECT& actual)
{
    EXPECT_EQ(std::tie(expected.left, expected.top, expected.right, expected.bottom),
              std::tie(actual.left, actual.top, actual.right, actual.bottom));
}

// A click as the user makes it: the static control itself reports it.
void ClickAsAUser(HWND hControl)
{
    ::SendMessageW(hControl, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    ::SendMessageW(hControl, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
}

// A click that must open its address: a failure box, should one come, is
// answered so that the test fails instead of waiting for a user.
void ClickExpectingNoBox(HWND hControl)
{
    MessageBoxAnswerer guard(::GetCurrentThreadId(), ModuleBaseName());
    ClickAsAUser(hControl);
    EXPECT_EQ(L"", guard.Text());
}

// Lines of the stand-in installer's marker; each run also leaves its result
// file in the temporary folder, which is removed again.
std::vector<std::string> WaitForRuns(const std::wstring& marker, size_t count)
{
    const std::wstring result = TempFolder() + L"QVXLivaUpdate.ini";
    WaitUntil([&] { return Lines(ReadBytes(marker)).size() >= count && FileExists(result); });
    ::DeleteFileW(result.c_str());
    return Lines(ReadBytes(marker));
}
} // namespace

TEST_F(LinkStatic, PutsTheUrlInPlaceOfThePlaceholder)
{
    const std::wstring url = L"http://dl.example.com/pkg/setup 2.exe";
    // No placeholder: a blank and the address are appended.
    EXPECT_EQ(L"\"C:\\Web\\browser.exe\" -nohome http://dl.example.com/pkg/setup 2.exe",
              BuildBrowserCommandLine(L"\"C:\\Web\\browser.exe\" -nohome", url).value());
    // The quoted placeholder is cut before its opening quote, with all that
    // follows it; the address takes its place unquoted.
    EXPECT_EQ(L"\"C:\\Web\\browser.exe\" -nohome  http://dl.example.com/pkg/setup 2.exe",
              BuildBrowserCommandLine(L"\"C:\\Web\\browser.exe\" -nohome \"%1\" -new", url).value());
    // A bare placeholder.
    EXPECT_EQ(L"C:\\Web\\browser.exe  http://dl.example.com/pkg/setup 2.exe",
              BuildBrowserCommandLine(L"C:\\Web\\browser.exe %1 -new", url).value());
    // The quoted form is looked for first, even when a bare one comes
    // before it.
    EXPECT_EQ(L"b.exe %1  u", BuildBrowserCommandLine(L"b.exe %1 \"%1\"", L"u").value());
    EXPECT_EQ(L" u", BuildBrowserCommandLine(L"", L"u").value());
}

TEST_F(LinkStatic, RefusesWhatDoesNotFitInsteadOfCuttingIt)
{
    const std::wstring command(100, L'c');
    // 100 + 1 + 418 = 519 units: the buffer of 520 takes them with the zero.
    const auto fits = BuildBrowserCommandLine(command, std::wstring(418, L'u'));
    ASSERT_TRUE(fits.has_value());
    EXPECT_EQ(519u, fits->size());
    EXPECT_FALSE(BuildBrowserCommandLine(command, std::wstring(419, L'u')).has_value());
    EXPECT_FALSE(BuildBrowserCommandLine(command + L" \"%1\"", std::wstring(5000, L'u')).has_value());
    // What the placeholder cut removes does not count.
    EXPECT_TRUE(BuildBrowserCommandLine(command + L" \"%1\"" + std::wstring(1000, L'x'), L"u").has_value());

    char buffer[kWinExecCommandBytes];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    ASSERT_TRUE(EncodeWinExecCommandLine(std::wstring(255, L'a'), buffer));
    EXPECT_EQ(std::string(255, 'a'), std::string(buffer));
    EXPECT_EQ('\0', buffer[255]);

    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_FALSE(EncodeWinExecCommandLine(std::wstring(256, L'a'), buffer));
    EXPECT_EQ(std::string(kWinExecCommandBytes, '\0'), std::string(buffer, kWinExecCommandBytes));

    // A character the code page lacks would reach the browser as '?'.
    EXPECT_FALSE(EncodeWinExecCommandLine(L"b.exe http://h/\x0E01", buffer));
    EXPECT_EQ('\0', buffer[0]);

    if (::GetACP() == 936)
    {
        // Two bytes for each Chinese character: the budget is in bytes.
        EXPECT_TRUE(EncodeWinExecCommandLine(L"a" + std::wstring(127, L'\x4E2D'), buffer));
        EXPECT_EQ(255u, std::string(buffer).size());
        EXPECT_FALSE(EncodeWinExecCommandLine(std::wstring(128, L'\x4E2D'), buffer));
    }
}

TEST_F(LinkStatic, CoversTheWholeTable)
{
    EXPECT_EQ(L"The operating system is out\nof memory or resources.", OpenErrorText(0));
    EXPECT_EQ(L"The specified file was not found.", OpenErrorText(2));
    EXPECT_EQ(L"The specified path was not found.", OpenErrorText(3));
    EXPECT_EQ(L"The operating system denied\naccess to the specified file.", OpenErrorText(5));
    EXPECT_EQ(L"There was not enough memory to complete the operation.", OpenErrorText(8));
    EXPECT_EQ(L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).", OpenErrorText(11));
    EXPECT_EQ(L"A sharing violation occurred. ", OpenErrorText(26));
    EXPECT_EQ(L"The filename association is\nincomplete or invalid.", OpenErrorText(27));
    EXPECT_EQ(L"The DDE transaction could not\nbe completed because the request timed out.",
              OpenErrorText(28));
    EXPECT_EQ(L"The DDE transaction failed.", OpenErrorText(29));
    EXPECT_EQ(
        L"The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.",
        OpenErrorText(30));
    EXPECT_EQ(L"There is no application associated\nwith the given filename extension.", OpenErrorText(31));
    EXPECT_EQ(L"The specified dynamic-link library was not found.", OpenErrorText(32));
    EXPECT_EQ(L"Unknown Error (7) occurred.", OpenErrorText(7));
    EXPECT_EQ(L"Unknown Error (1) occurred.", OpenErrorText(1));
    EXPECT_EQ(L"Unknown Error (33) occurred.", OpenErrorText(33));
    EXPECT_EQ(L"Unknown Error (-5) occurred.", OpenErrorText(-5));
}

TEST_F(LinkStatic, ReadsDefaultValuesWithinTheByteBudget)
{
    const std::wstring base = std::wstring(kTestKey) + L"\\Budget";
    {
        RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\fits").c_str(), 0, nullptr,
                                                   0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr));
        // 129 units and the zero: exactly 260 bytes.
        SetRegistryText(key.Get(), nullptr, std::wstring(129, L'v'));
        RegKey tooLong;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\long").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, tooLong.Receive(), nullptr);
        SetRegistryText(tooLong.Get(), nullptr, std::wstring(130, L'w'));
    }
    std::wstring value = L"before";
    EXPECT_EQ(0, CLinkStatic::ReadClassesRootDefault(HKEY_CURRENT_USER, base + L"\\fits", value));
    EXPECT_EQ(std::wstring(129, L'v'), value);

    value = L"before";
    EXPECT_NE(0, CLinkStatic::ReadClassesRootDefault(HKEY_CURRENT_USER, base + L"\\long", value));
    EXPECT_EQ(L"before", value);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              CLinkStatic::ReadClassesRootDefault(HKEY_CURRENT_USER, base + L"\\none", value));
    EXPECT_EQ(L"before", value);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

TEST_F(LinkStatic, AttachNotifiesUnderlinesFitsAndTakesTheUrlFromTheText)
{
    HWND hLink = m_page.GetDlgItem(IDC_MANUAL_LINK);
    ASSERT_NE(nullptr, hLink);
    ASSERT_FALSE(::GetWindowLongW(hLink, GWL_STYLE) & SS_NOTIFY);
    const std::wstring text = TextOf(hLink);
    ASSERT_EQ(L"如果下载速度较慢，请点击此处手动下载安装包进行安装", text);
    const RECT before = RectInParent(hLink);
    const HFONT pageFont = reinterpret_cast<HFONT>(::SendMessageW(m_page, WM_GETFONT, 0, 0));

    m_page.UpdateData(FALSE);
    ASSERT_EQ(hLink, m_page.m_link.m_hWnd);

    EXPECT_TRUE(::GetWindowLongW(hLink, GWL_STYLE) & SS_NOTIFY);

    const HFONT linkFont = reinterpret_cast<HFONT>(::SendMessageW(hLink, WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, linkFont);
    EXPECT_NE(pageFont, linkFont);
    LOGFONTW pageLf{}, linkLf{};
    ASSERT_NE(0, ::GetObjectW(pageFont, sizeof pageLf, &pageLf));
    ASSERT_NE(0, ::GetObjectW(linkFont, sizeof linkLf, &linkLf));
    EXPECT_TRUE(linkLf.lfUnderline);
    EXPECT_EQ(pageLf.lfHeight, linkLf.lfHeight);
    EXPECT_EQ(pageLf.lfWeight, linkLf.lfWeight);
    EXPECT_STREQ(pageLf.lfFaceName, linkLf.lfFaceName);

    // Left-aligned: the top left corner stays, the size becomes the text's.
    const SIZE extent = TextExtent(hLink);
    ExpectRect(RECT{before.left, before.top, before.left + extent.cx, before.top + extent.cy},
               RectInParent(hLink));

    EXPECT_EQ(text, TextOf(hLink));
    EXPECT_EQ(text, ToolText(hLink));
    RECT client{};
    ::GetClientRect(hLink, &client);
    ExpectRect(client, ToolRect(hLink));

    // The address replaces the text as the tip; the text and the tool's
    // rectangle stay.
    const std::wstring url = L"http://dl.example.com/pkg/QoraSetup_3.0.exe";
    m_page.m_link.SetLinkUrl(url);
    EXPECT_EQ(url, ToolText(hLink));
    EXPECT_EQ(text, TextOf(hLink));
    ExpectRect(client, ToolRect(hLink));
}

TEST_F(LinkStatic, TakesItsTextFromTheUrlAndFitsByItsAlignment)
{
    const std::wstring url = L"http://dl.example.com/a.exe";
    CLinkStatic empty;
    empty.SetLinkUrl(url);
    HWND hEmpty = MakeStatic(0, L"", RECT{10, 10, 400, 50}, 2001);
    ASSERT_TRUE(empty.SubclassWindow(hEmpty));
    EXPECT_EQ(url, TextOf(hEmpty));
    EXPECT_EQ(url, ToolText(hEmpty));
    SIZE extent = TextExtent(hEmpty);
    ExpectRect(RECT{10, 10, 10 + extent.cx, 10 + extent.cy}, RectInParent(hEmpty));

    CLinkStatic centred;
    HWND hCentred = MakeStatic(SS_CENTER, L"Go", RECT{10, 60, 311, 100}, 2002);
    ASSERT_TRUE(centred.SubclassWindow(hCentred));
    extent = TextExtent(hCentred);
    ASSERT_LT(extent.cx, 301);
    int dx = (301 - extent.cx) / 2;
    ExpectRect(RECT{10 + dx, 60, 311 - dx, 60 + extent.cy}, RectInParent(hCentred));

    CLinkStatic right;
    HWND hRight = MakeStatic(SS_RIGHT, L"Go", RECT{10, 110, 310, 150}, 2003);
    ASSERT_TRUE(right.SubclassWindow(hRight));
    extent = TextExtent(hRight);
    ExpectRect(RECT{310 - extent.cx, 110, 310, 110 + extent.cy}, RectInParent(hRight));

    CLinkStatic middle;
    HWND hMiddle = MakeStatic(SS_CENTER | SS_CENTERIMAGE, L"Go", RECT{10, 160, 310, 201}, 2004);
    ASSERT_TRUE(middle.SubclassWindow(hMiddle));
    extent = TextExtent(hMiddle);
    dx = (300 - extent.cx) / 2;
    const int dy = (41 - extent.cy) / 2;
    ExpectRect(RECT{10 + dx, 160 + dy, 310 - dx, 201 - dy}, RectInParent(hMiddle));
}

TEST_F(LinkStatic, ColoursFollowTheHoverAndTheVisitedState)
{
    m_page.UpdateData(FALSE);
    HWND hLink = m_page.m_link.m_hWnd;
    ASSERT_NE(nullptr, hLink);

    const ColourAnswer first = AskColours(m_page, hLink);
    EXPECT_EQ(kLinkColour, first.text);
    EXPECT_EQ(TRANSPARENT, first.bkMode);
    EXPECT_EQ(::GetStockObject(NULL_BRUSH), first.brush);

    // The mouse moves onto the link: hover colour, mouse captured.
    ::SendMessageW(hLink, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), TextColour(m_page, hLink));
    EXPECT_EQ(hLink, ::GetCapture());
    ::SendMessageW(hLink, WM_MOUSEMOVE, 0, MAKELPARAM(3, 1));
    EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), TextColour(m_page, hLink));
    EXPECT_EQ(hLink, ::GetCapture());
    // Left of and above the control the captured coordinates are negative.
    ::SendMessageW(hLink, WM_MOUSEMOVE, 0, MAKELPARAM(-4, -3));
    EXPECT_EQ(kLinkColour, TextColour(m_page, hLink));
    EXPECT_NE(hLink, ::GetCapture());

    // An address the shell opens harmlessly: the stand-in installer, which
    // notes that it ran.
    TempDir dir(L"qvx-link-");
    const std::wstring marker = dir.Path() + L"marker.txt";
    ScopedEnvironment markerVar(L"QVX_FAKE_INSTALLER_MARKER", marker);
    m_page.m_link.SetLinkUrl(StandInPath(L"fake_installer.exe"));
    ClickExpectingNoBox(hLink);
    EXPECT_EQ(kVisitedColour, TextColour(m_page, hLink));
    EXPECT_EQ(1u, WaitForRuns(marker, 1).size());

    // Hover wins over visited, and visited comes back after it.
    ::SendMessageW(hLink, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), TextColour(m_page, hLink));
    ::SendMessageW(hLink, WM_MOUSEMOVE, 0, MAKELPARAM(5000, 2));
    EXPECT_EQ(kVisitedColour, TextColour(m_page, hLink));

    // Another static of the page keeps the dialog's own colours.
    EXPECT_NE(::GetStockObject(NULL_BRUSH), AskColours(m_page, m_page.GetDlgItem(IDC_PACKAGE_LINE)).brush);
}

TEST_F(LinkStatic, FallsBackToTheHtmAssociationAndReportsTheShellsError)
{
    ClassesRootOverride classes(kTestKey);
    ASSERT_TRUE(classes.IsActive());
    m_page.UpdateData(FALSE);
    HWND hLink = m_page.m_link.m_hWnd;
    ASSERT_NE(nullptr, hLink);

    TempDir dir(L"qvx-link-");
    const std::wstring marker = dir.Path() + L"marker.txt";
    ScopedEnvironment markerVar(L"QVX_FAKE_INSTALLER_MARKER", marker);

    // Nothing the shell can open, and no ".htm" association: the shell's own
    // code is reported and nothing runs.
    const std::wstring missing = L"C:\\qvx-missing-folder\\page.htm";
    const int shellCode = static_cast<int>(reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", missing.c_str(), nullptr, nullptr, SW_SHOW)));
    ASSERT_LE(shellCode, 32);
    EXPECT_EQ(shellCode, CLinkStatic::OpenUrl(missing, SW_SHOW));
    m_page.m_link.SetLinkUrl(missing);
    {
        MessageBoxAnswerer answerer(::GetCurrentThreadId(), ModuleBaseName());
        ClickAsAUser(hLink);
        EXPECT_EQ(L"Unable to open hyperlink:\n\n" + OpenErrorText(shellCode), answerer.Text());
    }
    EXPECT_EQ(kLinkColour, TextColour(m_page, hLink));

    // The association has no open command: still the shell's code.
    classes.SetDefault(L".htm", L"QvxTestPage");
    EXPECT_EQ(shellCode, CLinkStatic::OpenUrl(missing, SW_SHOW));

    // With a command, the browser runs with the address in place of the
    // quoted placeholder, and the link counts as visited.
    const std::wstring browser = StandInPath(L"fake_installer.exe");
    classes.SetDefault(L"QvxTestPage\\shell\\open\\command", L"\"" + browser + L"\" -nohome \"%1\" -tail");
    ClickExpectingNoBox(hLink);
    EXPECT_EQ(kVisitedColour, TextColour(m_page, hLink));
    std::vector<std::string> runs = WaitForRuns(marker, 1);
    ASSERT_EQ(1u, runs.size());
    const std::wstring expectedTail = L"\"" + browser + L"\" -nohome  " + missing;
    EXPECT_EQ(expectedTail, Wide(runs[0].substr(runs[0].find("cmdline=") + 8)));

    // A command line that fits the wide buffer but not WinExec's 255 bytes
    // is not run cut short: the shell's code stands.
    const std::wstring longUrl = L"C:\\qvx-missing-folder\\" + std::wstring(240, L'p') + L".htm";
    ASSERT_TRUE(BuildBrowserCommandLine(L"\"" + browser + L"\" -nohome ", longUrl).has_value());
    const int longShellCode = static_cast<int>(reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", longUrl.c_str(), nullptr, nullptr, SW_SHOW)));
    ASSERT_LE(longShellCode, 32);
    EXPECT_EQ(longShellCode, CLinkStatic::OpenUrl(longUrl, SW_SHOW));
}

TEST_F(LinkStatic, SetsNoCursorOfItsOwnWithoutAHandCursorAndRelaysToItsTooltip)
{
    m_page.UpdateData(FALSE);
    HWND hLink = m_page.m_link.m_hWnd;
    ASSERT_NE(nullptr, hLink);

    // Wine's help viewer has no hand cursor: the control then leaves the
    // cursor as it is and keeps the default processing out.
    HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    ::SetCursor(wait);
    EXPECT_EQ(FALSE, ::SendMessageW(hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(hLink),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(wait, ::GetCursor());

    // The tooltip shows only for mouse messages relayed to it, which the
    // control does when the message loop pre-translates them.
    HWND hTip = FindTooltipOf(hLink);
    ASSERT_NE(nullptr, hTip);
    RECT rc{};
    ::GetWindowRect(hLink, &rc);
    const POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ::SetCursorPos(centre.x, centre.y);
    ASSERT_EQ(hLink, ::WindowFromPoint(centre));
    POINT client = centre;
    ::ScreenToClient(hLink, &client);
    MSG msg{hLink, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y), ::GetTickCount(), centre};
    EXPECT_FALSE(CWnd::WalkPreTranslateTree(m_host, &msg));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(hTip) != FALSE; }, 5000));
    ::SetCursorPos(1000, 740);
}

TEST_F(LinkStatic, GivesTheControlBackTheDialogFontWhenDestroyed)
{
    const HWND hStatic = MakeStatic(0, L"text", RECT{10, 10, 200, 40}, 2010);
    const LRESULT pageFont = ::SendMessageW(m_page, WM_GETFONT, 0, 0);
    {
        CLinkStatic link;
        ASSERT_TRUE(link.SubclassWindow(hStatic));
        EXPECT_NE(pageFont, ::SendMessageW(hStatic, WM_GETFONT, 0, 0));
    }
    EXPECT_EQ(pageFont, ::SendMessageW(hStatic, WM_GETFONT, 0, 0));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hStatic));
    // The window lives on as a plain static.
    ::SendMessageW(hStatic, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    EXPECT_NE(hStatic, ::GetCapture());
}
