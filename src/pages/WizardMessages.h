#pragma once
// The messages by which the workers report to the wizard frame. They are
// always sent, never posted, so the worker waits until the frame has acted.

#include <windows.h>

// As if Next had been clicked.
constexpr UINT WM_WIZARD_NEXT = WM_USER + 100;
// The check is done; wParam 0: the client is current, otherwise a newer
// version is recorded in the settings file.
constexpr UINT WM_CHECK_DONE = WM_USER + 101;
// The version check failed; wParam names why (CheckErrorCause).
constexpr UINT WM_CHECK_ERROR = WM_USER + 102;
// The package download failed.
constexpr UINT WM_DOWNLOAD_ERROR = WM_USER + 103;

// The download worker has claimed the installation: a Cancel confirmation
// still open must close, since the installation now runs to its end.
constexpr UINT WM_INSTALL_STARTING = WM_USER + 104;

// The Download page fetches nothing, as the administrator's policy says;
// wParam names which rule (PolicyHold). Sent from within the page's creation.
constexpr UINT WM_DOWNLOAD_HELD = WM_USER + 105;

// WM_CHECK_ERROR's wParam.
enum CheckErrorCause : WPARAM
{
    kCheckErrorGeneric = 0,
    kCheckErrorLoginPage = 1,   // the network answered with its login page
    kCheckErrorSwitchedOff = 2, // the policy switches updates off: nothing was asked
};

// WM_DOWNLOAD_HELD's wParam.
enum PolicyHold : WPARAM
{
    kPolicyUpdatesOff = 0,  // UpdatesDisabled
    kPolicyVersionLine = 1, // the recorded version is outside TargetVersionPrefix
};

static_assert(WM_WIZARD_NEXT == 1124 && WM_DOWNLOAD_ERROR == 1127,
              "the workers and tests rely on these values");
