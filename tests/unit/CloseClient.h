#pragma once
// What the tests of closing a running client share: the client stand-in
// started under its own name, two of them, and the close-client dialog's
// caption and question as a campus-edition system shows them.

#include "harness/Files.h"
#include "harness/Process.h"

namespace closeclient
{
inline constexpr wchar_t kCaption[] = L"Qora企业版在线升级";
inline constexpr wchar_t kQuestion[] = L"您需要关闭正在运行的Qora校园版，才能继续\n剩下的安装";

inline bool StartClient(harness::Process& client)
{
    return client.Start(harness::StandInPath(L"QOravel.exe"));
}

// Two clients whose executable names differ only in letter case.
struct TwoClients
{
    harness::TempDir dir{L"qvx-client-"};
    harness::Process original;
    harness::Process lowerCase;
    // Once started: the one the process snapshot lists first (0 when it
    // lists neither), and the two in that order.
    DWORD firstId = 0;
    harness::Process* first = nullptr;
    harness::Process* second = nullptr;

    bool Start()
    {
        const std::wstring copy = dir.Path() + L"qoravel.EXE";
        const bool started = ::CopyFileW(harness::StandInPath(L"QOravel.exe").c_str(), copy.c_str(), FALSE) &&
                             StartClient(original) && lowerCase.Start(copy);
        firstId = harness::FirstInSnapshotOrder({original.Id(), lowerCase.Id()});
        first = firstId == original.Id() ? &original : &lowerCase;
        second = first == &original ? &lowerCase : &original;
        return started;
    }
};
} // namespace closeclient
