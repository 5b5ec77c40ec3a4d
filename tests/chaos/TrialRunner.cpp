#include "TrialRunner.h"

#include <map>
#include <set>

#include "harness/Files.h"
#include "harness/Machine.h"

namespace chaos
{
using namespace harness;

namespace
{
const int kNext = 1000, kCancel = 1001, kCheckBar = 1015, kDownloadBar = 1018, kResultText = 1008,
          kStatusLine = 1023;
const char kRunsFile[] = "installer-runs.txt", kEndsFile[] = "installer-ends.txt";

// What the wizard shows as the user presses Cancel.
std::string WhatTheWizardShows(HWND frame, HWND page)
{
    if (!IsVisible(frame))
        return "with the wizard hidden (installing or ending)";
    if (!page)
        return "without a page";
    if (Item(page, kCheckBar))
        return "during the check";
    if (Item(page, kDownloadBar))
        return TextOf(Item(page, kStatusLine)).rfind(L"连接中断", 0) == 0 ? "during a retry wait"
                                                                          : "during the download";
    const std::wstring tag = TextOf(page);
    if (tag == L"CNewVersionDlg")
        return "on the offer page";
    if (tag == L"CWelcomeDlg")
        return "on the Welcome page";
    if (tag == L"CFinishDlg")
        return "on the Finish page";
    return "on page " + Utf8(tag);
}

std::string StateText(const std::string& url, const std::string& validator, size_t total, size_t held)
{
    return "url=" + url + "\r\nvalidator=" + validator + "\r\ntotal=" + std::to_string(total) +
           "\r\nheld=" + std::to_string(held) + "\r\n";
}

// Every file of a folder: name, bytes.
std::map<std::string, std::string> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> files, folders;
    ListFolder(folder, files, folders);
    std::map<std::string, std::string> result;
    for (const std::wstring& name : files)
        result[Utf8(name)] = ReadBytes(folder + L"\\" + name);
    return result;
}

HWND FirstTopWindow(DWORD pid, const wchar_t* caption)
{
    const std::vector<HWND> windows = TopWindows(pid, L"#32770", caption);
    return windows.empty() ? nullptr : windows.front();
}
} // namespace

TrialRunner::TrialRunner(const Served& served, const std::wstring& folder, const std::wstring& wineOutput)
    : m_served(served), m_folder(folder), m_wineOutput(wineOutput)
{
}

std::wstring TrialRunner::TrialFolder(const TrialPlan& plan) const
{
    return m_folder + std::to_wstring(plan.seed);
}

void TrialRunner::RemoveTrialFolder(const TrialPlan& plan) const
{
    for (const wchar_t* sub : {L"\\temp", L"\\work"})
    {
        EmptyFolder(TrialFolder(plan) + sub);
        ::RemoveDirectoryW((TrialFolder(plan) + sub).c_str());
    }
    ::RemoveDirectoryW(TrialFolder(plan).c_str());
}

void TrialRunner::Prepare(const TrialPlan& plan, Observation& seen)
{
    RemoveTrialFolder(plan);
    m_temp = TrialFolder(plan) + L"\\temp";
    m_work = TrialFolder(plan) + L"\\work";
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    for (const std::wstring& folder : {TrialFolder(plan), m_temp, m_work, SettingsFolder()})
        ::CreateDirectoryW(folder.c_str(), nullptr);
    EmptyFolder(SettingsFolder());

    const std::string size = std::to_string(m_served.bytes.size());
    m_server.Reset();
    m_server.Script(CheckScript(plan, m_served.reply));
    m_server.Script(PackageScript(plan, m_served.url.substr(m_served.url.find("/chaos/")), m_served.file,
                                  m_served.bytes.size()));
    WriteNetSetting(m_work, "127.0.0.1", m_server.Port(), 0);
    if (plan.startAtNewVersion)
        WriteIni("[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Qora\r\nnewversion=3.0\r\ndownloadurl=" +
                 m_served.url + "\r\nsize=" + size + "\r\nsha256=" + m_served.sha256 + "\r\n");

    // What an earlier run left.
    const std::string partial = m_served.bytes.substr(0, static_cast<size_t>(plan.leftoverBytes));
    const std::string validator = ValidatorValue(plan), earlier = "\"earlier\"";
    const size_t total = m_served.bytes.size();
    std::string state;
    if (plan.leftover == Leftover::Matching)
        state = StateText(m_served.url, validator, total, partial.size());
    else if (plan.leftover == Leftover::OtherValidator)
        state = StateText(m_served.url, earlier, total, partial.size());
    else if (plan.leftover == Leftover::OtherTotal)
        state =
            StateText(m_served.url, validator.empty() ? earlier : validator, total + 4096, partial.size());
    else if (plan.leftover == Leftover::BadState)
        state = "url=" + m_served.url + "\r\nnot a state\r\n";
    if (plan.leftover != Leftover::None)
        seen.planted[m_served.name + ".downloading"] = partial;
    if (!state.empty())
        seen.planted[m_served.name + ".downloading.resume"] = state;
    for (const auto& [name, bytes] : seen.planted)
        WriteBytes(m_temp + L"\\" + Wide(name), bytes);

    // The wizard and the installer it starts inherit these.
    ::SetEnvironmentVariableW(L"TEMP", m_temp.c_str());
    ::SetEnvironmentVariableW(L"TMP", m_temp.c_str());
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_STALL_SECONDS", L"1");
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_MARKER", (m_work + L"\\" + Wide(kRunsFile)).c_str());
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_REPORT", (m_work + L"\\" + Wide(kEndsFile)).c_str());
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_WAIT_FILE", (m_work + L"\\installer-may-end").c_str());
    ::SetEnvironmentVariableW(L"QVX_FAKE_INSTALLER_USERCANCEL", L"no");
    ::SetEnvironmentVariableW(L"QVXLIVEUPDATE_FAULT_PROBE", plan.faultProbe ? L"1" : nullptr);
    m_outputFrom = ReadBytes(m_wineOutput).size();
}

Observation TrialRunner::Run(const TrialPlan& plan)
{
    Observation seen;
    Prepare(plan, seen);
    seen.boundMs = BoundMs(plan, m_served.bytes.size());
    Process wizard;
    if (wizard.Start(WizardExePath(), m_work))
    {
        seen.wizardPid = wizard.Id();
        PlayUser(plan, seen, wizard);
        seen.ended = wizard.WaitForExit(0);
        seen.exitCode = wizard.ExitCode();
        wizard.Kill();
    }
    // A held installer may end now, whatever happened; its report follows.
    WriteBytes(m_work + L"\\installer-may-end", "go");
    WaitUntil(
        [&]
        {
            return Lines(ReadBytes(m_work + L"\\" + Wide(kEndsFile))).size() >=
                   Lines(ReadBytes(m_work + L"\\" + Wide(kRunsFile))).size();
        },
        5000);
    Collect(seen);
    return seen;
}

void TrialRunner::PlayUser(const TrialPlan& plan, Observation& seen, const Process& wizard) const
{
    const DWORD pid = wizard.Id();
    const ULONGLONG deadline = ::GetTickCount64() + seen.boundMs;
    HWND frame = WaitForFrame(pid, 15000);
    if (frame && plan.faultProbe)
        ::PostMessageW(frame, ::RegisterWindowMessageW(L"QVXLiveUpdate.FaultProbe"), 0, 0);
    ULONGLONG momentAt = 0, cancelAt = 0, confirmAt = 0, installerAt = 0, finishAt = 0;
    bool welcomeDone = false, offerDone = false, answered = false, released = false;
    std::set<HWND> boxesSeen;
    while (frame && wizard.IsRunning() && ::GetTickCount64() < deadline)
    {
        const ULONGLONG now = ::GetTickCount64();
        // Like a user, OK to every box but the Cancel question: the wizard's
        // errors, and any the system shows on its behalf. Each is noted.
        for (HWND box : TopWindows(pid, L"#32770"))
        {
            if (box == frame)
                continue;
            const std::wstring caption = TextOf(box);
            HWND textItem = ::GetDlgItem(box, 0xFFFF);
            const std::wstring text = textItem ? TextOf(textItem) : std::wstring();
            // A box that goes as it is read (the wizard closes the Cancel
            // question itself when the installation begins) is left to the
            // next round, which sees it again if it stays.
            const std::wstring unread = L"<no answer>";
            if (caption == L"提示" || caption == unread || text == unread || !::IsWindow(box))
                continue;
            if (boxesSeen.insert(box).second)
                seen.boxes.push_back(Utf8(caption) + ": " + Utf8(text));
            AnswerMessageBox(box, IDOK);
        }
        // While a box is up the frame takes no clicks, as for a user.
        const bool usable = IsEnabled(frame);
        HWND page = CurrentPage(frame);
        const std::wstring tag = page && usable ? TextOf(page) : std::wstring();
        // One thing at a time, as a user does: a Cancel waits for the next
        // round after a click, so that it meets the page the click led to.
        bool clicked = true;
        if (tag == L"CWelcomeDlg" && !welcomeDone)
            Click(Item(frame, kNext)), welcomeDone = true;
        else if (tag == L"CNewVersionDlg" && !offerDone)
            Click(Item(frame, kNext)), offerDone = true;
        else if (tag == L"CFinishDlg" && now >= finishAt + 1000)
        {
            seen.finishText = Utf8(TextOf(Item(page, kResultText)));
            Click(Item(frame, kNext));
            finishAt = now;
        }
        else
            clicked = false;

        // The planned Cancel: its moment, its delay, then the answer.
        const std::wstring partial = m_temp + L"\\" + Wide(m_served.name) + L".downloading";
        HWND download = FindPageWithItem(frame, kDownloadBar);
        bool begun = false;
        switch (plan.moment)
        {
            case Moment::None:
                break;
            case Moment::Check:
                begun = page && Item(page, kCheckBar);
                break;
            case Moment::Download:
                begun = page && page == download;
                break;
            case Moment::RetryWait:
                begun =
                    page && page == download && TextOf(Item(page, kStatusLine)).rfind(L"连接中断", 0) == 0;
                break;
            case Moment::Install:
                // The partial file, not the bar: the bar moves at most every
                // few tens of milliseconds and may lag behind what is held.
                begun = download && (!IsVisible(frame) || FileSize(partial) * 10000 >=
                                                              static_cast<long long>(m_served.bytes.size()) *
                                                                  plan.triggerProgress);
                break;
        }
        if (begun && !momentAt)
            momentAt = now;
        if (usable && !clicked && momentAt && !cancelAt &&
            now >= momentAt + static_cast<ULONGLONG>(plan.cancelDelayMs))
        {
            seen.cancel.pressed = true;
            seen.cancel.during = WhatTheWizardShows(frame, CurrentPage(frame));
            seen.cancel.askable =
                IsVisible(frame) && IsEnabled(frame) &&
                (seen.cancel.during == "during the check" || seen.cancel.during == "during the download" ||
                 seen.cancel.during == "during a retry wait");
            PressCancel(frame, kCancel, plan.way);
            cancelAt = now;
        }
        HWND confirm = cancelAt && !answered ? FirstTopWindow(pid, L"提示") : nullptr;
        if (confirm && !confirmAt)
        {
            confirmAt = now;
            seen.cancel.asked = true;
            seen.cancel.questionAfterMs = static_cast<long>(now - cancelAt);
        }
        if (confirm && now >= confirmAt + static_cast<ULONGLONG>(plan.answerDelayMs))
        {
            seen.cancel.installerBeforeAnswer = !ReadBytes(m_work + L"\\" + Wide(kRunsFile)).empty();
            AnswerMessageBox(confirm, plan.confirm ? IDYES : IDNO);
            seen.cancel.answer = plan.confirm ? "Yes" : "No";
            answered = true;
        }

        // The installer runs for as long as the plan says.
        if (!installerAt && !ReadBytes(m_work + L"\\" + Wide(kRunsFile)).empty())
        {
            installerAt = now;
            if (cancelAt)
                seen.cancel.installerAfterMs = static_cast<long>(now - cancelAt);
        }
        if (installerAt && !released && now >= installerAt + static_cast<ULONGLONG>(plan.installerHoldMs))
        {
            WriteBytes(m_work + L"\\installer-may-end", "go");
            released = true;
        }
        ::Sleep(10); // polling interval, not synchronisation
    }
    // Without a frame there is no user to play: only the wait for the end.
    WaitUntil([&] { return !wizard.IsRunning(); },
              static_cast<DWORD>(deadline > ::GetTickCount64() ? deadline - ::GetTickCount64() : 0));
    if (cancelAt && !wizard.IsRunning())
        seen.cancel.endedAfterMs = static_cast<long>(::GetTickCount64() - cancelAt);
}

void TrialRunner::Collect(Observation& seen) const
{
    seen.wineOutput = ReadBytes(m_wineOutput, m_outputFrom);
    std::vector<std::wstring> files, folders;
    ListFolder(m_temp, files, folders);
    for (const std::wstring& name : folders)
        seen.tempFolders.push_back(Utf8(name));
    seen.temp = FilesIn(m_temp);
    // A log rotated during the trial holds its start in the older part.
    for (const char* name : {"QVXLiveUpdate.log.old", "QVXLiveUpdate.log"})
        if (seen.temp.count(name))
            seen.log += seen.temp[name];
    seen.installerRuns = Lines(ReadBytes(m_work + L"\\" + Wide(kRunsFile)));
    seen.installerEnds = Lines(ReadBytes(m_work + L"\\" + Wide(kEndsFile)));
    for (const auto& entry : FilesIn(SettingsFolder()))
        seen.settingsFolder.push_back(entry.first);

    // What the server answered, from its own log.
    for (const Json& request : m_server.Requests().array)
    {
        Answer answer;
        answer.package = request["path_only"].string.find(L"/chaos/") != std::wstring::npos;
        answer.index = request["response_index"].kind == Json::Kind::Number
                           ? static_cast<int>(request["response_index"].number)
                           : -1;
        answer.status = static_cast<int>(request["status"].number);
        answer.bytesSent = static_cast<uint64_t>(request["bytes_sent"].number);
        const std::wstring range = HeaderValue(request, "range");
        if (range.rfind(L"bytes=", 0) == 0)
            answer.rangeStart = std::wcstoull(range.c_str() + 6, nullptr, 10);
        seen.answers.push_back(answer);
    }

    // How it ended, from what the user saw and the log.
    const std::string& finishText = seen.finishText;
    if (!seen.ended)
        seen.outcome = "without end";
    else if (!seen.installerRuns.empty())
        seen.outcome = "installed";
    else if (seen.log.find("install: the package could not be started") != std::string::npos)
        seen.outcome = "package did not start";
    else if (seen.log.find("end: the wizard was cancelled") != std::string::npos)
        seen.outcome = "cancelled";
    else if (finishText.find(Utf8(L"检测服务器版本")) != std::string::npos)
        seen.outcome = "check error";
    else if (finishText.find(Utf8(L"下载更新包")) != std::string::npos)
        seen.outcome = "download error";
    else if (finishText.find(Utf8(L"已经是客户端最新版本")) != std::string::npos)
        seen.outcome = "told current"; // what a reply that does not parse says
    else
        seen.outcome = "other";
}
} // namespace chaos
