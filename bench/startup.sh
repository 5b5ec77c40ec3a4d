#!/bin/bash
# Benchmark of start-up: from CreateProcess until the Welcome page is painted,
# the real wizard against bare_dialog (the wizard's own resources shown the
# same way, with no logic), both started by the same timer, taking turns,
# after one warm-up start each. Also when each one's top-level dialog exists
# and when it shows its page. Figure: wizard / bare dialog, start to painted,
# the median of the rounds' ratios (each round's two starts are next to each
# other, so a shared machine's load swings touch both alike); target at most
# 1.2.
#   bench/startup.sh                          as root on Debian 12
#   QVX_STARTUP_ROUNDS=61 bench/startup.sh    more rounds (41 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target QVXLiveUpdate bare_dialog wizard_timer >/dev/null

# shellcheck source=tools/session.sh
. tools/session.sh
trap session_stop EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
# The Welcome page shows the installed client; without a settings file the
# wizard opens on it.
session_install_client
rm -f "$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel/LiveUpdate.ini"
work=$root/build/bench-startup
rm -rf "$work"
mkdir -p "$work"

winpath() { echo "Z:${1//\//\\}"; }
figures=$("$root/tools/wine-run.sh" build/bench/wizard_timer.exe startup "$(winpath "$work")" \
  "${QVX_STARTUP_ROUNDS:-41}" "$(winpath "$root/build/QVXLiveUpdate.exe")" \
  "$(winpath "$root/build/bench/bare_dialog.exe")")
value() { grep "exe=$1 " <<<"$figures" | sed -n "s/.*$2=\([0-9.]*\).*/\1/p"; }
echo "== start-up, median of ${QVX_STARTUP_ROUNDS:-41} starts each, ms from CreateProcess =="
printf '%-18s %10s %10s %10s\n' "" "dialog" "page shown" "painted"
for exe in QVXLiveUpdate.exe bare_dialog.exe; do
  printf '%-18s %10s %10s %10s\n' "$exe" "$(value "$exe" created_median_ms)" "$(value "$exe" shown_median_ms)" \
    "$(value "$exe" painted_median_ms)"
done
paired=$(sed -n 's/^paired_ratio_median=//p' <<<"$figures")
awk -v w="$(value QVXLiveUpdate.exe painted_median_ms)" -v b="$(value bare_dialog.exe painted_median_ms)" \
  -v p="$paired" 'BEGIN {
  printf "ratio of the medians, start to painted: %.2f (%.1f / %.1f ms)\n", w / b, w, b
  printf "ratio wizard / bare dialog, start to painted, median of the rounds: %.2f\n", p
  printf "target: at most 1.2\n" }'
