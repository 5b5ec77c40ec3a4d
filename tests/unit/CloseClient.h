#pragma once
// What the tests of closing a running client share: the client stand-in
// started under its own name, and the close-client dialog's caption and
// question as a campus-edition system shows them.

#include "unit/StandInTools.h"

namespace closeclient
{
inline constexpr wchar_t kCaption[] = L"Qora企业版在线升级";
inline constexpr wchar_t kQuestion[] = L"您需要关闭正在运行的Qora校园版，才能继续\n剩下的安装";

inline bool StartClient(standins::ChildProcess& client)
{
    return client.Start(standins::StandInPath(L"QOravel.exe"));
}
} // namespace closeclient
