// The administrator's policy and a release rolled out to a share of
// machines, from outside: the values written where Group Policy writes them
// (the 64-bit view), and where the wizard and the unattended runs then end.
#include "UpgradeFixture.h"

using namespace e2e;

namespace
{
const wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Qoravel\\LiveUpdate";
const wchar_t kAlreadyLatest[] = L"升级完成|您现在已经是客户端最新版本，无需在线更新！";
const wchar_t kSwitchedOff[] = L"升级失败|在线升级已被系统管理员关闭，如需升级请联系管理员。";
// The wizard from its Welcome page, and from the NewVersion page of a record
// a launcher prepared; the options run unattended.
const wchar_t kWizard[] = L"wizard", kLauncher[] = L"launcher";

// This machine's place in the rollout of 3.0, worked out here: its
// MachineGuid (64-bit view) hashed with the platform's SHA-256.
int MachineBucket()
{
    const DWORD inThe64BitView = 0x00010000; // RRF_SUBKEY_WOW6464KEY, declared for Windows 10 only
    wchar_t guid[64] = {};
    DWORD size = sizeof guid;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                   RRF_RT_REG_SZ | inThe64BitView, nullptr, guid, &size);
    std::string text;
    for (const wchar_t* c = guid; *c; ++c)
        text += static_cast<char>(::tolower(*c));
    text += "/3.0";
    BYTE d[32] = {};
    DWORD length = sizeof d;
    EXPECT_TRUE(guid[0] &&
                ::CryptHashCertificate(0, CALG_SHA_256, 0, reinterpret_cast<const BYTE*>(text.data()),
                                       static_cast<DWORD>(text.size()), d, &length));
    return static_cast<int>((uint32_t{d[0]} << 24 | uint32_t{d[1]} << 16 | uint32_t{d[2]} << 8 | d[3]) % 100);
}

struct Case
{
    DWORD updatesDisabled, ignoreRollout;
    const wchar_t* prefix; // TargetVersionPrefix, when set
    std::string rollout;   // the answer's <rollout>, when it names one
    const wchar_t* front;
    std::wstring outcome; // the Finish page's "heading|text", or "exit N"
    size_t requests;      // what reached the server
    const char* logSays;
};

class Policy : public Upgrade
{
  protected:
    void TearDown() override
    {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, KEY_WOW64_64KEY, 0);
        Upgrade::TearDown();
    }
    // Sets the case's values, offers version 3.0 and runs the case's front.
    void Expect(const Case& c)
    {
        SCOPED_TRACE(std::string(c.logSays) + " / " + ::testing::PrintToString(std::wstring(c.front)));
        RegKey key;
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, KEY_WOW64_64KEY, 0);
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          nullptr, key.Receive(), nullptr);
        for (const auto& [name, on] : {std::make_pair(L"UpdatesDisabled", c.updatesDisabled),
                                       std::make_pair(L"IgnoreRollout", c.ignoreRollout)})
            if (on)
                ::RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                                 sizeof on);
        if (c.prefix)
            SetRegistryText(key.Get(), L"TargetVersionPrefix", c.prefix);
        key.Reset();
        m_server.Reset();
        OfferVersion(PackageUrl(), "", c.rollout.empty() ? "" : "<rollout>" + c.rollout + "</rollout>");
        ::DeleteFileW((TempFolder() + L"QVXLiveUpdate.log").c_str());
        std::wstring outcome = L"no end";
        Process run;
        if (c.front[0] == L'/' && run.Start(m_exe, m_workFolder, c.front) && run.WaitForExit(60000))
            outcome = L"exit " + std::to_wstring(run.ExitCode());
        if (c.front[0] != L'/')
        {
            if (c.front == kLauncher)
                StartAtNewVersion("newversion=3.0\r\ndownloadurl=" + PackageUrl() + "\r\n");
            else
                StartAtCheckVersion();
            // From the launcher's NewVersion page, Next leads to the Download page.
            if (c.front == kLauncher)
                Click(Item(m_frame, kNext));
            HWND page = WaitForPage(m_frame, L"CFinishDlg", 30000) ? CurrentPage(m_frame) : nullptr;
            outcome = page ? TextOf(Item(page, kResultHeading)) + L"|" + TextOf(Item(page, kResultText))
                           : L"shown: " + CurrentPageTag(m_frame);
            m_wizard.Kill();
            RemoveIni();
        }
        EXPECT_EQ(c.outcome, outcome);
        EXPECT_EQ(c.requests, m_server.Requests().size());
        EXPECT_NE(std::string::npos, RunLog().find(c.logSays)) << RunLog();
    }
};
} // namespace

TEST_F(Policy, SwitchesUpdatesOffOrHoldsAVersionLine)
{
    for (const Case& c : {
             Case{1, 0, nullptr, "", kWizard, kSwitchedOff, 0, "start: policy: UpdatesDisabled 1"},
             Case{1, 0, nullptr, "", kLauncher, kSwitchedOff, 0, "nothing is fetched"},
             Case{1, 0, nullptr, "", L"/silent", L"exit 11", 0, "nothing is asked"},
             Case{0, 0, L"2.1.", "", kWizard, kAlreadyLatest, 1, "held by policy"},
             Case{0, 0, L"2.1.", "", kLauncher, kAlreadyLatest, 0, "held by policy"},
             Case{0, 0, L"2.1.", "", L"/silent", L"exit 1", 1, "start: policy: TargetVersionPrefix \"2.1.\""},
             Case{0, 0, L"3.", "", L"/check", L"exit 10", 1, "taken"},
         })
        Expect(c);
}

TEST_F(Policy, RolloutOffersTheReleaseToMachinesBelowItsShare)
{
    const std::string at = std::to_string(MachineBucket()), above = std::to_string(MachineBucket() + 1);
    const std::string standing = "rollout " + at + " %, this machine's bucket " + at;
    for (const Case& c : {
             Case{0, 0, nullptr, at, L"/check", L"exit 1", 1, standing.c_str()},
             Case{0, 0, nullptr, above, L"/check", L"exit 10", 1, "is below it"},
             Case{0, 0, nullptr, at, kWizard, kAlreadyLatest, 1, "not offered yet"},
             Case{0, 1, nullptr, "0", L"/check", L"exit 10", 1, "ignored by policy"},
             Case{0, 0, nullptr, "101", L"/check", L"exit 3", 1, "is no whole number"},
         })
        Expect(c);
}
