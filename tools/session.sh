# Shared by the test and run commands: a display, a Wine server that stays up
# for the whole session, and the loopback servers. Source it, then call
# session_start; session_stop runs on exit.

session_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

session_start_display() {
  if [[ -n "${QVX_USE_DISPLAY:-}" && -n "${DISPLAY:-}" ]]; then
    return
  fi
  local n=90
  while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  session_xvfb=$!
  export DISPLAY=":$n"
  local deadline=$((SECONDS + 20))
  until xdpyinfo >/dev/null 2>&1; do
    ((SECONDS < deadline)) || { echo "session: the virtual display did not start" >&2; return 1; }
    sleep 0.1
  done
  # Without a window manager a new window never gets the keyboard focus.
  openbox >/dev/null 2>&1 &
  session_wm=$!
}

session_start_wine() {
  export QVX_WINEPREFIX=$1
  "$session_root/tools/make-prefix.sh" "$QVX_WINEPREFIX"
  WINEPREFIX=$QVX_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$QVX_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
  WINEPREFIX=$QVX_WINEPREFIX wineserver -p >/dev/null 2>&1 </dev/null &
  # Wine's own services start with the first program and keep its standard
  # handles: let them have none of ours.
  "$session_root/tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

session_start_servers() {
  session_servers=$1
  "$session_root/tests/servers/servers.sh" start "$session_servers" >/dev/null
  set -a
  # shellcheck disable=SC1091
  . "$session_servers/ports.env"
  set +a
}

# The reference update server (tools/demo) on 127.0.0.1:<port>, with its
# files and pid in <dir>/run, packages from <dir>/www/packages, the answer
# from <dir>/www/release.map (tools/publish-release writes it; without one,
# an unsigned answer offers <package-url>), and a netsetting.xml naming it in
# <dir>/work. Without rate limits when the fourth argument is "fast".
session_start_update_server() {
  local dir=$1 port=$2 package_url=$3 speed=${4:-}
  mkdir -p "$dir"/{run/tmp,www/packages,work}
  local fill=(-e "s|@DEMO_PORT@|$port|g" -e "s|@DEMO_ROOT@|$dir/www|g" -e "s|@PACKAGE_URL@|$package_url|g")
  [[ $speed == fast ]] && fill+=(-e '/limit_rate/d')
  sed "${fill[@]}" "$session_root/tools/demo/nginx-update-server.conf" >"$dir/run/update-server.conf"
  [[ -f "$dir/www/release.map" ]] ||
    sed "${fill[@]}" "$session_root/tools/demo/unsigned-release.map" >"$dir/www/release.map"
  sed -e "s|@RUN@|$dir/run|g" "$session_root/tools/demo/nginx-demo.conf.in" >"$dir/run/nginx.conf"
  printf '<?xml version="1.0" encoding="utf-8"?>\r\n<NetSetting>\r\n  <Dispatch ip="127.0.0.1" default_port="%s" ssl="0"/>\r\n</NetSetting>\r\n' \
    "$port" >"$dir/work/netsetting.xml"
  nginx -c "$dir/run/nginx.conf" -p "$dir/run" -e "$dir/run/error.log"
  session_update_server=$dir
}

# The machine the demo and the benchmarks run on: an installed client 2.0.0.0
# (its uninstall record, and the settings folder its installer made: a fresh
# prefix has none), and no system proxy.
session_install_client() {
  local reg=("$session_root/tools/wine-run.sh" reg add)
  local record='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Qoravel'
  "${reg[@]}" "$record" /v DisplayName /t REG_SZ /d "Qora企业版" /reg:32 /f >/dev/null 2>&1
  "${reg[@]}" "$record" /v DisplayVersion /t REG_SZ /d "2.0.0.0" /reg:32 /f >/dev/null 2>&1
  "${reg[@]}" "$record" /v MainVersion /t REG_SZ /d "2.0" /reg:32 /f >/dev/null 2>&1
  "${reg[@]}" 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1
  mkdir -p "$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel"
}

session_stop() {
  [[ -n "${session_update_server:-}" && -f "$session_update_server/run/nginx.pid" ]] &&
    kill "$(cat "$session_update_server/run/nginx.pid")" 2>/dev/null || true
  [[ -n "${session_servers:-}" ]] && "$session_root/tests/servers/servers.sh" stop "$session_servers" >/dev/null 2>&1 || true
  [[ -n "${QVX_WINEPREFIX:-}" ]] && WINEPREFIX=$QVX_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  [[ -n "${session_wm:-}" ]] && kill "$session_wm" 2>/dev/null || true
  [[ -n "${session_xvfb:-}" ]] && kill "$session_xvfb" 2>/dev/null || true
  session_servers= session_wm= session_xvfb= session_update_server=
}
