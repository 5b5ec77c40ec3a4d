#!/bin/bash
# Builds the program (32-bit, and 64-bit to keep it compiling) and runs every
# test: unit tests and end-to-end tests of the real executable under Wine,
# against servers on loopback. Run as root on Debian 12; safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh

# The toolchain counts only in a folder's first configure; named on the command
# line again, CMake warns that it went unused. From the environment it does not.
# The tested QVXLiveUpdate.exe embeds no publisher key (the demo's may linger
# in the cache); the keyed builds are variants of their own.
CMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQVX_PUBLISHER_KEY= -DQVX_PUBLISHER_CERT_SHA256= >/dev/null
cmake --build build
CMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake cmake -S . -B build-x64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=ON >/dev/null
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
