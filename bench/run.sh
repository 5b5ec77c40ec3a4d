#!/bin/bash
# Benchmarks of the wizard's network work, each against a yardstick measured
# in the same run, in the same Wine prefix, from the same nginx on loopback:
#   - the version check: Next on the Welcome page to the NewVersion page,
#     against a bare WinINet POST of the same request;
#   - the package download (64 MiB and 1 GiB): the wizard's transfer against
#     a bare WinINet read loop with the same flags, and against native curl;
#     and the wizard's peak private memory for both sizes.
# Run as root on Debian 12, like the two commands of the README.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# The measured wizard is the one the tests run: no publisher key.
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target QVXLiveUpdate fake_installer QOravel bare_wininet wizard_timer >/dev/null

bench=$root/build/bench-run
port=${QVX_BENCH_PORT:-18590}
rm -rf "$bench"
mkdir -p "$bench/www/packages"
# Both transfers write into memory (tmpfs), so that what is measured is the
# network path and not this machine's disk; a folder of this port's, as
# another worktree's run may be going on beside.
scratch=/dev/shm/qvx-bench-$port
mkdir -p "$scratch"
for size in ${QVX_BENCH_SIZES:-64M 1G}; do
  # A runnable package padded to its size, as real installers carry payloads.
  cp build/standins/fake_installer.exe "$bench/www/packages/pkg-$size.exe"
  truncate -s "$size" "$bench/www/packages/pkg-$size.exe"
done

# shellcheck source=tools/session.sh
. tools/session.sh
stop_bench() {
  [[ -n "${client:-}" ]] && kill "$client" 2>/dev/null || true
  session_stop
}
trap stop_bench EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
# The reference server without the demo's rate limits.
session_start_update_server "$bench" "$port" "http://127.0.0.1:$port/packages/pkg-64M.exe" fast

run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }
session_install_client
export QVX_EXE
QVX_EXE=$(winpath "$root/build/QVXLiveUpdate.exe")
work=$(winpath "$bench/work")
ini_dir="$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel"
mkdir -p "$ini_dir"
value() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "== version check (median of 9) =="
rm -f "$ini_dir/LiveUpdate.ini"
wizard=$(run build/bench/wizard_timer.exe check "$work" 9)
bare=$(run build/bench/bare_wininet.exe post 127.0.0.1 "$port" 9)
echo "wizard, Next to NewVersion page: $(value check_median_ms "$wizard") ms"
echo "bare WinINet POST:               $(value post_median_ms "$bare") ms"
check_ratio=$(ratio "$(value check_median_ms "$wizard")" "$(value post_median_ms "$bare")")
echo "ratio wizard / bare:             $check_ratio"
summary="ratio version check / bare POST: $check_ratio (target at most 2.5)"$'\n'

# A running client holds the wizard at its question once the package is
# complete, so the installer does not start in the middle of the figures.
run build/standins/QOravel.exe >/dev/null 2>&1 &
client=$!
for size in ${QVX_BENCH_SIZES:-64M 1G}; do
  url="http://127.0.0.1:$port/packages/pkg-$size.exe"
  echo "== download of $size =="
  printf '[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Bench\r\nnewversion=3.0\r\ndownloadurl=%s\r\n' "$url" \
    >"$ini_dir/LiveUpdate.ini"
  # One run to warm up (the first transfer after a start is often the
  # fastest, whoever makes it), then three rounds that alternate the two;
  # each is judged by its median.
  run build/bench/bare_wininet.exe get "$url" "$(winpath "$scratch/bare.bin")" >/dev/null
  rm -f "$scratch/bare.bin"
  median() { sort -t= -k2 -n | sed -n 2p; }
  bare_runs="" wizard_runs=""
  for round in 1 2 3; do
    bare_runs+=$(run build/bench/bare_wininet.exe get "$url" "$(winpath "$scratch/bare.bin")")$'\n'
    rm -f "$scratch/bare.bin"
    wizard_runs+=$(run build/bench/wizard_timer.exe download "$work" "pkg-$size.exe" "$(winpath "$scratch")")$'\n'
  done
  echo "runs, MiB/s: bare $(grep -o 'mib_per_s=[0-9.]*' <<<"$bare_runs" | cut -d= -f2 | tr '\n' ' ')/ wizard $(grep -o 'mib_per_s=[0-9.]*' <<<"$wizard_runs" | cut -d= -f2 | tr '\n' ' ')"
  bare=$(grep -o 'mib_per_s=[0-9.]*' <<<"$bare_runs" | median)
  wizard_median=$(grep -o 'mib_per_s=[0-9.]*' <<<"$wizard_runs" | median)
  wizard=$(grep "$wizard_median " <<<"$wizard_runs" | head -1)
  curl_speed=$(curl -s -o "$scratch/curl.bin" -w '%{speed_download}' "$url")
  rm -f "$scratch/curl.bin"
  curl_mib=$(awk -v s="$curl_speed" 'BEGIN { printf "%.1f", s / 1048576 }')
  echo "wizard:       $(value mib_per_s "$wizard") MiB/s, peak private $(value peak_private_kib "$wizard") KiB, peak working set $(value peak_working_set_kib "$wizard") KiB"
  echo "bare WinINet: $(value mib_per_s "$bare") MiB/s"
  echo "native curl:  $curl_mib MiB/s"
  download_ratio=$(ratio "$(value mib_per_s "$wizard")" "$(value mib_per_s "$bare")")
  echo "ratio wizard / bare WinINet: $download_ratio"
  summary+="ratio download of $size / bare WinINet: $download_ratio (target at least 0.95)"$'\n'
  echo "ratio wizard / curl:         $(ratio "$(value mib_per_s "$wizard")" "$curl_mib")"
done
rm -f "$ini_dir/LiveUpdate.ini"
rm -rf "$scratch"
echo "== summary =="
printf '%s' "$summary"
