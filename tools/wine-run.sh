#!/bin/sh
# Runs a Windows program of the build under Wine, in the project's own prefix.
# ctest calls this for every test; the test scripts set up the display and a
# wineserver that stays up for the whole run, which makes each start cheap.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${QVX_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG="${QVX_LANG:-${LANG:-zh_CN.UTF-8}}"
export LC_ALL="$LANG"
# Wine hands these to WinINet as a proxy when the system proxy is off.
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY
exec wine "$@"
