#!/bin/bash
# Makes the project's own Wine prefix (Chinese system, code page 936) once;
# later calls find it ready and return at once.
set -euo pipefail
prefix=${1:?usage: make-prefix.sh <prefix-dir>}
[[ -f "$prefix/.qvx-ready" ]] && exit 0

rm -rf "$prefix"
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd) # Wine wants an absolute path
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset DISPLAY
echo "prefix: booting $prefix"
wineboot --init >/dev/null 2>&1
wineserver -w

reg() { wine reg add "$@" /f >/dev/null 2>&1; }
# A crash fails the test instead of opening a dialog nobody answers.
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
# As on a Chinese Windows, the dialog fonts are faces with Chinese glyphs.
for face in "MS Shell Dlg" "MS Shell Dlg 2" "SimSun" "宋体" "Tahoma"; do
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei"
done
wineserver -w
touch "$prefix/.qvx-ready"
