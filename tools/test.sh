#!/bin/bash
# Builds the program (32-bit, and 64-bit to keep it compiling) and runs every
# test: unit tests and end-to-end tests of the real executable under Wine,
# against servers on loopback. Run as root on Debian 12; safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh

# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build i686
cmake --build build
configure_build build-x64 x86_64 -DBUILD_TESTING=ON
cmake --build build-x64

# shellcheck source=tools/session.sh
. tools/session.sh
trap session_stop EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
session_start_servers "/tmp/qvx-test-servers${QVX_PORT_OFFSET:+-$QVX_PORT_OFFSET}"
# Signed and published stand-in packages for the package-trust cases.
tests/trust/prepare.sh "$RUNTIME_DIR/files" build/standins/fake_installer.exe

rm -rf build/tests/artifacts
status=0
ctest --test-dir build --output-on-failure --timeout 300 "$@" || status=$?
if [[ -d build/tests/artifacts ]]; then
  for bmp in build/tests/artifacts/*.bmp; do
    [[ -e "$bmp" ]] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  echo "Screenshots of failing cases: build/tests/artifacts/"
fi
exit $status
