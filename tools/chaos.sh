#!/bin/bash
# Chaos trials of the real wizard: server faults at random offsets and Cancels
# at random moments, each trial drawn from a printed seed and judged by the
# same invariants; a table of outcomes by kind at the end. The seeds in
# tests/chaos/regressions.txt run first, every time.
#   tools/chaos.sh [--trials N] [--seed S] [--keep]
# --seed S alone replays that one trial; a failing trial's folder (its
# temporary folder with the wizard's log) is kept under build/tests/chaos/,
# every trial's with --keep.
# Inside a test session (tools/test.sh runs it so) it uses that session's
# build, display, Wine server and loopback servers; on its own it builds what
# it needs and starts them. Run as root on Debian 12, like the README's commands.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

args=()
while (($#)); do
  case $1 in
    --trials | --seed) args+=("$1" "${2:?$1 needs a number}"); shift 2 ;;
    --keep) args+=("$1"); shift ;;
    *) echo "usage: tools/chaos.sh [--trials N] [--seed S] [--keep]" >&2; exit 2 ;;
  esac
done

if [[ -z "${FAULT_PORT:-}" || -z "${QVX_WINEPREFIX:-}" ]]; then
  tools/setup.sh
  # shellcheck source=tools/configure.sh
  . tools/configure.sh
  configure_build build
  cmake --build build --target chaos_trials
  # shellcheck source=tools/session.sh
  . tools/session.sh
  trap session_stop EXIT
  session_start_display
  session_start_wine "$root/build/wineprefix"
  session_start_servers "/tmp/qvx-test-servers${QVX_PORT_OFFSET:+-$QVX_PORT_OFFSET}"
fi

winpath() { echo "Z:${1//\//\\}"; }
# Wine's standard error of every program a trial starts ends up here (Wine
# gives a child its parent's), with the error channel on: the trials look in
# it for crashes.
output=$root/build/tests/chaos-wine-output.txt
: >"$output"
WINEDEBUG=-all,err+all tools/wine-run.sh build/tests/chaos_trials.exe "${args[@]}" \
  --wine-output "$(winpath "$output")" --regressions "$(winpath "$root/tests/chaos/regressions.txt")" 2>>"$output"
