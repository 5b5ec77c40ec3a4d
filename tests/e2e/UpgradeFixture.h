#pragma once
// The upgrade cases' fixture: an installed client of version 2.1, the
// installer stand-in served as the package, and the means to take the
// wizard to the Download page and to see what it ran and left behind.

#include <memory>
#include <vector>

#include "Fixture.h"

namespace e2e
{
inline constexpr int kNext = 1000, kCancel = 1001, kResultText = 1008, kResultHeading = 1022;
inline constexpr int kDownloadProgress = 1018, kDownloadStatus = 1023;
inline constexpr char kPackage[] = "QoraSetup.exe";
// Where the cases script their own answers for the package.
inline constexpr char kScriptedPackagePath[] = "/cut/QoraSetup.exe";

// A scripted response that serves `file` of the files folder honouring
// byte ranges, with `fields` (JSON members, comma-separated) added.
std::string ServedFile(const std::string& file, const std::string& fields = std::string());
// The size of a file in the files folder.
long long ServedSize(const std::string& file);
// JSON members joined with commas, empty ones left out.
std::string Fields(const std::vector<std::string>& fields);
// The N of a logged request's "Range: bytes=N-", or -1 when it asked for no range.
long long RangeStart(const Json& request);

class Upgrade : public WizardTest
{
  protected:
    void SetUp() override;
    void TearDown() override;
    void RemoveLeftovers() const;

    std::string PackageUrl(const char* scheme = "http", int port = 0) const;
    std::string ScriptedPackageUrl() const;
    // The answers to the package at kScriptedPackagePath, in order; the last
    // one again and again when `repeatLast`.
    void ScriptPackage(const std::vector<std::string>& responses, bool repeatLast = false) const;
    // The package requests the server has seen, oldest first.
    std::vector<Json> PackageRequests(const std::string& path = kScriptedPackagePath) const;
    // The installer stand-in followed by a byte pattern, `size` bytes in all,
    // in the files folder: a package that still runs. Removed after the case.
    void MakeLargePackage(const std::string& name, long long size);

    // The check offers version 3.0 at `url`, in a response with `fields`
    // added, its document with `elements` after the address.
    void OfferVersion(const std::string& url, const std::string& fields = std::string(),
                      const std::string& elements = std::string());
    // From the Welcome page to the Download page.
    void RunToDownload(const std::string& url, const std::string& fields = std::string(),
                       const std::string& elements = std::string());
    HWND DownloadPage() const { return FindPage(m_frame, L"CDownloadDlg"); }

    // The stall time of the wizards this case starts; 0 leaves the default.
    void SetStallSeconds(int seconds) const;
    // The wizard's log of its runs.
    std::string RunLog() const;
    std::wstring PartialPath() const { return TempFolder() + Wide(kPackage) + L".downloading"; }
    std::wstring ResumeStatePath() const { return PartialPath() + L".resume"; }

    void HoldInstaller() const;
    void ReleaseInstaller() const;
    int InstallerRuns() const;
    void ExpectEndedAfterInstalling();
    void ExpectEndedWithoutInstalling();
    // Dismisses the download-error box and expects the Finish page; a run
    // that had begun the package may keep its bytes for the next run.
    void ExpectDownloadError(bool partialKept = false);
    // With a client running, the wizard stops at the close-client question
    // once the package is complete: the package is compared with the served
    // file, then the client is closed and the installer runs.
    void ExpectPackageInstalled(const std::string& servedFile, DWORD timeoutMs = 30000);

    std::wstring m_marker, m_waitFile;
    std::vector<std::wstring> m_madePackages;
};
} // namespace e2e
