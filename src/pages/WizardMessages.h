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

// WM_CHECK_ERROR's wParam.
enum CheckErrorCause : WPARAM
{
    kCheckErrorGeneric = 0,
    kCheckErrorLoginPage = 1, // the network answered with its login page
};

static_assert(WM_WIZARD_NEXT == 1124 && WM_DOWNLOAD_ERROR == 1127,
              "the workers and tests rely on these values");
