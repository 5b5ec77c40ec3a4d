#!/bin/bash
# Runs every benchmark, one after the other, each with its defaults (the
# environment variables of each script still apply), keeps each one's whole
# output in build/bench-logs/<name>.txt and ends on each one's ratios and
# targets: the figures bench/README.md records.
#   bench/all.sh                              as root on Debian 12
#   QVX_BENCH_PORT=18790 bench/all.sh         another port for the servers
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
logs=$root/build/bench-logs
mkdir -p "$logs"
names=(size startup run resume verify respond)
for name in "${names[@]}"; do
  echo "== bench/$name.sh ($(date '+%F %T'))"
  "$root/bench/$name.sh" >"$logs/$name.txt" 2>&1 || { echo "bench/$name.sh failed: $logs/$name.txt"; exit 1; }
done
for name in "${names[@]}"; do
  echo "== bench/$name.sh"
  # Each script ends on its ratios and targets, after its last heading.
  awk '/^== / { last = "" } /^(ratio|target|99th)/ { last = last $0 "\n" } END { printf "%s", last }' \
    "$logs/$name.txt"
done
