#!/bin/bash
# Benchmark of the wizard's responsiveness during a full-speed download: while
# the real wizard fetches a 1 GiB package from the fault server on loopback,
# wizard_timer (another process) sends WM_NULL to the frame every 10 ms with
# SendMessageTimeout and times each round trip. Once as the shipped build with
# a record that names no checks, once as the keyed build with every check on.
# Figure: the 99th percentile of the round trips (target below 50 ms); the
# median and the longest are printed too.
#   bench/respond.sh                        as root on Debian 12
#   QVX_RESPOND_ROUNDS=5 bench/respond.sh   more rounds (3 by default)
# QVX_BENCH_PORT sets the fault server's port (default 18590).
set -euo pipefail
size=${QVX_RESPOND_SIZE:-1G} name=bench-respond
# shellcheck source=bench/fault-bench.sh
. "$(dirname "$0")/fault-bench.sh"

checks=$(signed_record)
whole='{"body_file": "pkg.exe"}'
download QVXLiveUpdate.exe "$whole" "" respond >/dev/null # warm-up
plain_runs="" keyed_runs=""
for round in $(seq "${QVX_RESPOND_ROUNDS:-3}"); do
  ((round % 2)) && plain_runs+=$(download QVXLiveUpdate.exe "$whole" "" respond)$'\n'
  keyed_runs+=$(download QVXLiveUpdate_keyed.exe "$whole" "$checks" respond)$'\n'
  ((round % 2)) || plain_runs+=$(download QVXLiveUpdate.exe "$whole" "" respond)$'\n'
done
field() { grep -o "$1=[0-9.]*" <<<"$2" | cut -d= -f2 | tr '\n' ' '; }
summary() { # <label> <runs>
  echo "$1: MiB/s $(field mib_per_s "$2")| pings $(field pings "$2")| unanswered $(field unanswered "$2")"
  echo "  round trip, ms: median $(field ping_median_ms "$2")| 99th percentile $(field ping_p99_ms "$2")| longest $(field ping_max_ms "$2")"
}
echo "== $size package, a WM_NULL to the frame every 10 ms =="
summary "shipped build, no checks" "$plain_runs"
summary "keyed build, every check" "$keyed_runs"
# The figure of a build is its worst round.
worst() { grep -o 'ping_p99_ms=[0-9.]*' <<<"$1" | cut -d= -f2 | sort -n | tail -1; }
plain=$(worst "$plain_runs") keyed=$(worst "$keyed_runs")
awk -v p="$plain" -v k="$keyed" 'BEGIN {
  printf "99th percentile of the round trip, shipped build: %.1f ms (ratio to the 50 ms limit %.2f)\n", p, p / 50
  printf "99th percentile of the round trip, keyed build:   %.1f ms (ratio to the 50 ms limit %.2f)\n", k, k / 50
  printf "target: below 50 ms (ratio below 1)\n" }'
