#!/bin/bash
# Benchmark of what checking the package costs: the real wizard downloads a
# 1 GiB package from the fault server, once built with the publisher's key and
# a record that names the package's size, SHA-256 and signature (everything is
# checked: the signature over the release's manifest before the first byte,
# the hash as the bytes arrive, then size and hash), and once built without a
# key and with a record that names none of them. Figure: throughput with the
# checks / without (target at least 0.95).
#   bench/verify.sh                        as root on Debian 12
#   QVX_VERIFY_ROUNDS=5 bench/verify.sh    more rounds (3 by default)
# QVX_BENCH_PORT sets the fault server's port (default 18590).
set -euo pipefail
size=${QVX_VERIFY_SIZE:-1G} name=bench-verify
# shellcheck source=bench/fault-bench.sh
. "$(dirname "$0")/fault-bench.sh"

# The record a keyed build needs, made as a release is: with the release
# tool and the test publisher key the keyed build embeds.
tools/publish-release --url-base "http://127.0.0.1:$port/" --as pkg.exe "$bench/files/pkg.exe" 3.0 Bench \
  /dev/null tests/keys/publisher.key "$bench/release" >/dev/null
answer=$(cat "$bench/release/answers/pkg.exe.xml")
element() { sed -n "s:.*<$1>\\(.*\\)</$1>.*:\\1:p" <<<"$answer"; }
checks=$(printf 'size=%s\r\nsha256=%s\r\nsignature=%s\r\n' "$(element size)" "$(element sha256)" \
  "$(element signature)")

whole='{"body_file": "pkg.exe"}'
download QVXLiveUpdate.exe "$whole" >/dev/null # warm-up
plain_runs="" keyed_runs=""
# Each goes first in every other round: what a run leaves warm favours the next.
for round in $(seq "${QVX_VERIFY_ROUNDS:-3}"); do
  ((round % 2)) && plain_runs+=$(download QVXLiveUpdate.exe "$whole")$'\n'
  keyed_runs+=$(download QVXLiveUpdate_keyed.exe "$whole" "$checks")$'\n'
  ((round % 2)) || plain_runs+=$(download QVXLiveUpdate.exe "$whole")$'\n'
done
echo "== $size package =="
echo "without checks, MiB/s: $(grep -o 'mib_per_s=[0-9.]*' <<<"$plain_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "with checks, MiB/s:    $(grep -o 'mib_per_s=[0-9.]*' <<<"$keyed_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "with checks, complete: $(grep -o 'complete=[01]' <<<"$keyed_runs" | cut -d= -f2 | tr '\n' ' ')"
plain=$(grep -o 'mib_per_s=[0-9.]*' <<<"$plain_runs" | cut -d= -f2 | median)
keyed=$(grep -o 'mib_per_s=[0-9.]*' <<<"$keyed_runs" | cut -d= -f2 | median)
awk -v p="$plain" -v k="$keyed" 'BEGIN { printf "ratio with / without checks: %.2f (%.1f / %.1f MiB/s)\n", k / p, k, p }'
