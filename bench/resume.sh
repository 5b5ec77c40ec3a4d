#!/bin/bash
# Benchmark of a download that is cut and resumed: the real wizard fetches a
# 256 MiB package from the fault server once whole and once with every answer
# closing its connection after 32 MiB (each retry asks for the rest with Range
# and If-Range). Figures: wall time whole / cut (target at least 0.9) and bytes
# served / package size for the cut one (target at most 1.02).
#   bench/resume.sh                            as root on Debian 12
#   QVX_RESUME_CUTS="32M 64M" bench/resume.sh  more than one cut size
#   QVX_RESUME_ROUNDS=11 bench/resume.sh       more rounds (5 by default)
# QVX_BENCH_PORT sets the fault server's port (default 18590).
set -euo pipefail
size=256M name=bench-resume
# shellcheck source=bench/fault-bench.sh
. "$(dirname "$0")/fault-bench.sh"

answer() { # <cut after this many bytes, 0: never>
  local cut=""
  [[ $1 != 0 ]] && cut=", \"close_after_bytes\": $1"
  echo "{\"body_file\": \"pkg.exe\", \"ranges\": true, \"etag\": \"\\\"bench\\\"\"$cut}"
}
download QVXLiveUpdate.exe "$(answer 0)" >/dev/null # warm-up
for cut_size in ${QVX_RESUME_CUTS:-32M}; do
  cut=$(numfmt --from=iec "$cut_size")
  echo "== $size package, every answer cut after $cut_size =="
  whole_runs="" cut_runs=""
  for _ in $(seq "${QVX_RESUME_ROUNDS:-5}"); do
    whole_runs+=$(download QVXLiveUpdate.exe "$(answer 0)")$'\n'
    cut_runs+=$(download QVXLiveUpdate.exe "$(answer "$cut")")$'\n'
  done
  echo "whole, ms:  $(grep -o ' ms=[0-9]*' <<<"$whole_runs" | cut -d= -f2 | tr '\n' ' ')"
  echo "cut, ms:    $(grep -o ' ms=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | tr '\n' ' ')"
  echo "cut, complete: $(grep -o 'complete=[01]' <<<"$cut_runs" | cut -d= -f2 | tr '\n' ' ')"
  whole_ms=$(grep -o ' ms=[0-9]*' <<<"$whole_runs" | cut -d= -f2 | median)
  cut_ms=$(grep -o ' ms=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | median)
  served=$(grep -o 'served=[0-9]*' <<<"$cut_runs" | cut -d= -f2 | median)
  awk -v w="$whole_ms" -v c="$cut_ms" -v s="$served" -v b="$bytes" 'BEGIN {
    printf "ratio whole / cut time:       %.2f (%d ms / %d ms), target at least 0.9\n", w / c, w, c
    printf "ratio served / package bytes: %.3f (%d / %d), target at most 1.02\n", s / b, s, b }'
done
