#!/bin/bash
# Benchmark of a download that is cut and resumed: the real wizard fetches a
# 256 MiB package from the fault server once whole and once with every answer
# closing its connection after 32 MiB (each retry asks for the rest with Range
# and If-Range). Figures: wall time whole / cut (target at least 0.9) and bytes
# served / package size for the cut one (target at most 1.02).
#   bench/resume.sh                          as root on Debian 12
#   QVX_RESUME_CUTS="32M 64M" bench/resume.sh  more than one cut size
# QVX_BENCH_PORT sets the fault server's port (default 18590).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# The toolchain counts only in a folder's first configure; the tested wizard
# embeds no publisher key (the demo's may linger in the cache).
CMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQVX_PUBLISHER_KEY= -DQVX_PUBLISHER_CERT_SHA256= >/dev/null
cmake --build build --target QVXLiveUpdate fake_installer QOravel wizard_timer >/dev/null

bench=$root/build/bench-resume
port=${QVX_BENCH_PORT:-18590}
size=256M
rm -rf "$bench"
mkdir -p "$bench/files" "$bench/work"
# A runnable package padded to its size, as real installers carry payloads.
cp build/standins/fake_installer.exe "$bench/files/pkg.exe"
truncate -s "$size" "$bench/files/pkg.exe"
bytes=$(stat -c %s "$bench/files/pkg.exe")
# The wizard writes into memory (tmpfs), so that the disk does not decide.
scratch=/dev/shm/qvx-bench-resume
mkdir -p "$scratch"

# shellcheck source=tools/session.sh
. tools/session.sh
stop_bench() {
  [[ -n "${client:-}" ]] && kill "$client" 2>/dev/null || true
  [[ -f "$bench/fault.pid" ]] && kill "$(cat "$bench/fault.pid")" 2>/dev/null || true
  rm -rf "$scratch"
  session_stop
}
trap stop_bench EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
setsid python3 tests/servers/fault_server.py "$port" "$bench/files" --pid-file "$bench/fault.pid" \
  </dev/null >"$bench/fault.log" 2>&1 &
for _ in $(seq 100); do [[ -s "$bench/fault.pid" ]] && break; sleep 0.1; done
control() { curl -s --noproxy '*' "${@:2}" "http://127.0.0.1:$port/__control/$1"; }

run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }
run reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Qoravel' /v DisplayVersion /t REG_SZ \
  /d 2.0.0.0 /reg:32 /f >/dev/null 2>&1
run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD \
  /d 0 /f >/dev/null 2>&1
export QVX_EXE
QVX_EXE=$(winpath "$root/build/QVXLiveUpdate.exe")
ini_dir="$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel"
mkdir -p "$ini_dir"
# A running client holds the wizard at its question once the package is
# complete, so the installer does not start in the middle of the figures.
run build/standins/QOravel.exe >/dev/null 2>&1 &
client=$!

# One download of the package with every answer cut after $1 bytes (0: never);
# prints the wizard's figures and the bytes the server sent.
download() {
  local cut=""
  [[ $1 != 0 ]] && cut=", \"close_after_bytes\": $1"
  control script -d "{\"path\": \"/pkg.exe\", \"repeat_last\": true, \"responses\": [{\"body_file\": \"pkg.exe\",
    \"ranges\": true, \"etag\": \"\\\"bench\\\"\"$cut}]}" >/dev/null
  control clear_requests -d '{}' >/dev/null
  printf '[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Bench\r\nnewversion=3.0\r\ndownloadurl=%s\r\n' \
    "http://127.0.0.1:$port/pkg.exe" >"$ini_dir/LiveUpdate.ini"
  rm -f "$scratch"/pkg.exe*
  echo "$(run build/bench/wizard_timer.exe download "$(winpath "$bench/work")" pkg.exe "$(winpath "$scratch")")" \
    "served=$(control stats | sed -n 's/.*"body_bytes_sent": *\([0-9]*\).*/\1/p')"
  rm -f "$scratch"/pkg.exe*
}
median() { sort -n | awk "{ v[NR] = \$1 } END { print v[int((NR + 1) / 2)] }"; }

download 0 >/dev/null # warm-up
for cut_size in ${QVX_RESUME_CUTS:-32M}; do
  cut=$(numfmt --from=iec "$cut_size")
  echo "== $size package, every answer cut after $cut_size =="
  whole_runs="" cut_runs=""
  for _ in $(seq "${QVX_RESUME_ROUNDS:-5}"); do
    whole_runs+=$(download 0)$'\n'
    cut_runs+=$(download "$cut")$'\n'
  done
  echo "whole, ms:  $(grep -o ' ms=[0-9]*' <<<"$whole_runs" | cut -d= -f2 | tr '\n' ' ')"
  echo "cut, ms:    $(grep -o ' ms=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | tr '\n' ' ')"
  echo "cut, complete: $(grep -o 'complete=[01]' <<<"$cut_runs" | cut -d= -f2 | tr '\n' ' ')"
  whole_ms=$(grep -o ' ms=[0-9]*' <<<"$whole_runs" | cut -d= -f2 | median)
  cut_ms=$(grep -o ' ms=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | median)
  served=$(grep -o 'served=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | median)
  awk -v w="$whole_ms" -v c="$cut_ms" -v s="$served" -v b="$bytes" 'BEGIN {
    printf "ratio whole / cut time:       %.2f (%d ms / %d ms)\n", w / c, w, c
    printf "ratio served / package bytes: %.3f (%d / %d)\n", s / b, s, b }'
done
rm -f "$ini_dir/LiveUpdate.ini"
