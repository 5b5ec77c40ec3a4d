#!/bin/bash
# Runs the wizard against a local demo update server: builds it, starts nginx
# on loopback with the reference configuration (tools/demo), publishes the
# demo's package signed with a demo publisher key (made once in
# build/demo-key, and embedded in the wizard), records an installed client
# version 2.0, and starts the wizard, which finds version 3.0, downloads its
# package and installs it. Run as root on Debian 12; safe to run again.
#
# With a desktop ($DISPLAY set) the wizard opens there for you to click
# through. Without one it runs on a virtual display and is walked through the
# upgrade automatically; pictures of every step go to build/demo/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# The demo is built as a product team ships it: with the publisher's key, made
# once. Its private half signs the demo's release below.
key=$root/build/demo-key
[[ -f "$key/publisher.pem" ]] || tools/publish-release --make-key "$key" >/dev/null
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build i686 -DQVX_PUBLISHER_KEY="$key/publisher.pem"
cmake --build build --target QVXLiveUpdate demo_installer demo_driver QOravel

demo=$root/build/demo
port=${QVX_DEMO_PORT:-18580}
package_url="http://127.0.0.1:$port/packages/QoraSetup-3.0.exe"
rm -rf "$demo"
mkdir -p "$demo"/{www/packages,screenshots}
tools/publish-release --url-base "http://127.0.0.1:$port/packages/" --as QoraSetup-3.0.exe \
  --check-key "$key/publisher.pem" build/tools/demo/demo_installer.exe 3.0.0.0 "Qora企业版" \
  tools/demo/release-notes.txt "$key/publisher.key" "$demo/www" >/dev/null

# shellcheck source=tools/session.sh
. tools/session.sh
trap session_stop EXIT
[[ -n "${DISPLAY:-}" ]] && export QVX_USE_DISPLAY=1
session_start_display
session_start_wine "$root/build/wineprefix"
session_start_update_server "$demo" "$port" "$package_url"

session_install_client

winpath() { echo "Z:${1//\//\\}"; }
export QVX_EXE
QVX_EXE=$(winpath "$root/build/QVXLiveUpdate.exe")
cd "$demo/work"
if [[ -n "${QVX_USE_DISPLAY:-}" ]]; then
  echo "The wizard is open on your display; close it or let it install to end the demo."
  "$root/tools/wine-run.sh" "$root/build/QVXLiveUpdate.exe"
else
  "$root/tools/wine-run.sh" "$root/build/tools/demo/demo_driver.exe" "$(winpath "$demo/work")" \
    "$(winpath "$demo/screenshots")" "$(winpath "$root/build/standins/QOravel.exe")"
  for bmp in "$demo"/screenshots/*.bmp; do
    [[ -e "$bmp" ]] && convert "$bmp" -trim +repage "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  echo "Pictures of every step: build/demo/screenshots/"
fi
