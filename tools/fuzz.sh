#!/bin/bash
# A long fuzzing run of every routine that reads outside input:
#   tools/fuzz.sh [--inputs N] [--seed S]
# (default 100000 inputs per routine, seed 1). Builds what it needs, as
# tools/test.sh does. Every input that fails is kept in tests/fuzz/regressions,
# where every later run, the short one of tools/test.sh included, replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

inputs=100000 seed=1
while (($#)); do
  case $1 in
    --inputs) inputs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) echo "usage: tools/fuzz.sh [--inputs N] [--seed S]" >&2; exit 2 ;;
  esac
done

tools/setup.sh
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target fuzz_inputs

# shellcheck source=tools/session.sh
. tools/session.sh
trap session_stop EXIT
session_start_wine "$root/build/wineprefix"
# The component's own complaints about broken documents go to stderr.
tools/wine-run.sh build/tests/fuzz_inputs.exe --inputs "$inputs" --seed "$seed" \
  --regressions tests/fuzz/regressions --save tests/fuzz/regressions 2>/dev/null
