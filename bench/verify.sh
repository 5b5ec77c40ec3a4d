#!/bin/bash
# Benchmark of the download with every check of the package on: the real
# wizard built with the publisher's key (QVXLiveUpdate_keyed.exe) downloads a
# 1 GiB package from the fault server with a record that names its size,
# SHA-256 and signature, so that everything is checked (the signature over the
# release's manifest before the first byte, the hash as the bytes arrive,
# then the length), against the bare WinINet loop fetching the same package
# from the same server in 1 MiB blocks (its best way, bench/run.sh) and in
# 8 KiB blocks, and against the platform's SHA-256 on its own (what a
# download that hashes every byte can reach). Figure: throughput of the keyed
# wizard / the best bare loop (target at least 0.95).
#   bench/verify.sh                        as root on Debian 12
#   QVX_VERIFY_ROUNDS=5 bench/verify.sh    more rounds (3 by default)
# QVX_BENCH_PORT sets the fault server's port (default 18590).
set -euo pipefail
size=${QVX_VERIFY_SIZE:-1G} name=bench-verify
# shellcheck source=bench/fault-bench.sh
. "$(dirname "$0")/fault-bench.sh"

checks=$(signed_record)
whole='{"body_file": "pkg.exe"}'
download QVXLiveUpdate_keyed.exe "$whole" "$checks" >/dev/null # warm-up
bare_runs="" small_runs="" keyed_runs="" hash_runs=""
# Each goes first in every other round: what a run leaves warm favours the next.
for round in $(seq "${QVX_VERIFY_ROUNDS:-3}"); do
  ((round % 2)) && bare_runs+=$(bare_download "$whole" 1048576)$'\n'
  keyed_runs+=$(download QVXLiveUpdate_keyed.exe "$whole" "$checks")$'\n'
  ((round % 2)) || bare_runs+=$(bare_download "$whole" 1048576)$'\n'
  small_runs+=$(bare_download "$whole")$'\n'
  hash_runs+=$(run build/bench/bare_wininet.exe sha256 1024)$'\n'
done
echo "== $size package =="
echo "bare WinINet, 1 MiB blocks, MiB/s: $(grep -o 'mib_per_s=[0-9.]*' <<<"$bare_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "bare WinINet, 8 KiB blocks, MiB/s: $(grep -o 'mib_per_s=[0-9.]*' <<<"$small_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "platform SHA-256 alone, MiB/s:     $(grep -o 'mib_per_s=[0-9.]*' <<<"$hash_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "wizard with every check, MiB/s:   $(grep -o 'mib_per_s=[0-9.]*' <<<"$keyed_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "wizard with every check, complete: $(grep -o 'complete=[01]' <<<"$keyed_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "wizard peak private memory, KiB:  $(grep -o 'peak_private_kib=[0-9]*' <<<"$keyed_runs" | cut -d= -f2 | tr '\n' ' ')"
bare=$(grep -o 'mib_per_s=[0-9.]*' <<<"$bare_runs" | cut -d= -f2 | median)
small=$(grep -o 'mib_per_s=[0-9.]*' <<<"$small_runs" | cut -d= -f2 | median)
hash=$(grep -o 'mib_per_s=[0-9.]*' <<<"$hash_runs" | cut -d= -f2 | median)
keyed=$(grep -o 'mib_per_s=[0-9.]*' <<<"$keyed_runs" | cut -d= -f2 | median)
awk -v b="$bare" -v s="$small" -v h="$hash" -v k="$keyed" 'BEGIN {
  printf "ratio wizard with every check / bare WinINet, 1 MiB blocks: %.2f (%.1f / %.1f MiB/s)\n", k / b, k, b
  printf "target: at least 0.95\n"
  printf "ratio wizard with every check / bare WinINet, 8 KiB blocks: %.2f (%.1f / %.1f MiB/s)\n", k / s, k, s
  printf "ratio wizard with every check / the platform'"'"'s SHA-256 alone: %.2f (%.1f / %.1f MiB/s)\n", k / h, k, h }'
