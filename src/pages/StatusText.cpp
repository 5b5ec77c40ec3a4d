#include "pages/StatusText.h"

#include <cstdio>

#include "pages/TransferMeter.h"

const wchar_t kResumedStatus[] = L"从上次中断处继续下载";

int ProgressPosition(uint64_t received, uint64_t total)
{
    if (total == 0)
        return 0;
    return static_cast<int>(static_cast<double>(received) * 10000.0 / static_cast<double>(total));
}

std::wstring FormatByteCount(uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_wstring(bytes) + L" B";
    const wchar_t* units[] = {L"KB", L"MB", L"GB", L"TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // 1023.96 KB would print as "1024.0 KB": move up a unit before that.
    while (value >= 1023.95 && unit + 1 < sizeof units / sizeof units[0])
    {
        value /= 1024.0;
        ++unit;
    }
    wchar_t text[32] = {};
    swprintf(text, 32, L"%.1f %ls", value, units[unit]);
    return text;
}

std::wstring FormatTimeLeft(uint64_t seconds)
{
    if (seconds < 60)
        return L"约 " + std::to_wstring(seconds) + L" 秒";
    return L"约 " + std::to_wstring((seconds + 30) / 60) + L" 分钟";
}

std::wstring FormatTransferStatus(uint64_t received, uint64_t total, double bytesPerSecond)
{
    std::wstring text = L"已下载 " + FormatByteCount(received);
    if (total > 0)
        text += L" / " + FormatByteCount(total);
    if (bytesPerSecond < 0)
        return text;
    text += L"，速度 " + FormatByteCount(static_cast<uint64_t>(bytesPerSecond)) + L"/s";
    if (const auto seconds = SecondsLeft(received, total, bytesPerSecond))
        text += L"，剩余" + FormatTimeLeft(*seconds);
    return text;
}

std::wstring FormatRetryStatus(DWORD secondsLeft, int retry, int retries)
{
    return L"连接中断，" + std::to_wstring(secondsLeft) + L" 秒后重试（第 " + std::to_wstring(retry) +
           L" 次，共 " + std::to_wstring(retries) + L" 次）";
}

std::wstring NoSpaceText(uint64_t needed, const std::wstring& folder, uint64_t available)
{
    return L"磁盘空间不足：安装包还需要 " + FormatByteCount(needed) + L"，" + folder + L" 所在磁盘只剩 " +
           FormatByteCount(available) + L"。\n请清理磁盘后重新执行更新程序！";
}

std::wstring FormatMirrorLine(const std::wstring& host)
{
    return L"从镜像 " + host + L" 下载";
}
