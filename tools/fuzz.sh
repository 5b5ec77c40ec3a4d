#!/bin/bash
# A long fuzzing run of every routine that reads outside input:
#   tools/fuzz.sh [--inputs N] [--seed S] [--regressions DIR]
# (default 100000 inputs per routine, seed 1, tests/fuzz/regressions).
# Builds what it needs, as tools/test.sh does. Every input that fails is kept
# in the regressions folder, where every later run, the short one of
# tools/test.sh included, replays it; a folder that is not there, or holds
# none, fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

inputs=100000 seed=1 regressions=tests/fuzz/regressions
while (($#)); do
  case $1 in
    --inputs) inputs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --regressions) regressions=$2; shift 2 ;;
    *) echo "usage: tools/fuzz.sh [--inputs N] [--seed S] [--regressions DIR]" >&2; exit 2 ;;
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
  --regressions "$regressions" --save "$regressions" 2>/dev/null
