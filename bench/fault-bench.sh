# Shared by the benchmarks that run the real wizard against the fault server
# (bench/resume.sh, bench/verify.sh, bench/respond.sh): source it after
# setting `size` (the package's size, e.g. 256M) and `name` (the study's folder
# under build/). It builds what they need, starts a display, the Wine server
# and a fault server on loopback, and offers:
#   control <call> [curl args]      a control call to the fault server
#   download <exe> <script> [record lines] [mode]
#                                   one download of /pkg.exe by <exe> (a file in
#                                   build/), the server answering by <script>
#                                   (a response object), the record carrying the
#                                   extra lines; prints wizard_timer's figures
#                                   (of its `mode`: download, the default, or
#                                   respond) and served=<bytes the server sent>
#   bare_download <script> [block] [way]
#                                   the same transfer by the bare WinINet loop
#                                   (blocks of 8192 bytes read whole unless
#                                   named: bare_wininet's block and way)
#   signed_record                   the record lines that name the package's
#                                   size, SHA-256 and signature, made by the
#                                   release tool with the test publisher key
#                                   that QVXLiveUpdate_keyed.exe embeds
#   median                          the median of the numbers on standard input
# Variables left: root, bench (the study's folder), bytes (the package's size).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

tools/setup.sh
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target QVXLiveUpdate QVXLiveUpdate_keyed fake_installer QOravel wizard_timer \
  bare_wininet >/dev/null

bench=$root/build/$name
port=${QVX_BENCH_PORT:-18590}
rm -rf "$bench"
mkdir -p "$bench/files" "$bench/work"
# A runnable package padded to its size, as real installers carry payloads.
cp build/standins/fake_installer.exe "$bench/files/pkg.exe"
truncate -s "$size" "$bench/files/pkg.exe"
bytes=$(stat -c %s "$bench/files/pkg.exe")
# The wizard writes into memory (tmpfs), so that the disk does not decide; a
# folder of this port's, as another worktree's run may be going on beside.
scratch=/dev/shm/qvx-$name-$port
mkdir -p "$scratch"

# shellcheck source=tools/session.sh
. tools/session.sh
stop_bench() {
  [[ -n "${client:-}" ]] && kill "$client" 2>/dev/null || true
  [[ -f "$bench/fault.pid" ]] && kill "$(cat "$bench/fault.pid")" 2>/dev/null || true
  rm -rf "$scratch"
  session_stop
}
trap stop_bench EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
setsid python3 tests/servers/fault_server.py "$port" "$bench/files" --pid-file "$bench/fault.pid" \
  </dev/null >"$bench/fault.log" 2>&1 &
for _ in $(seq 100); do [[ -s "$bench/fault.pid" ]] && break; sleep 0.1; done
control() { curl -s --noproxy '*' "${@:2}" "http://127.0.0.1:$port/__control/$1"; }

run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }
session_install_client
ini_dir="$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel"
# A running client holds the wizard at its question once the package is
# complete, so the installer does not start in the middle of the figures.
run build/standins/QOravel.exe >/dev/null 2>&1 &
client=$!

download() {
  control script -d "{\"path\": \"/pkg.exe\", \"repeat_last\": true, \"responses\": [$2]}" >/dev/null
  control clear_requests -d '{}' >/dev/null
  printf '[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Bench\r\nnewversion=3.0\r\ndownloadurl=%s\r\n%s' \
    "http://127.0.0.1:$port/pkg.exe" "${3:-}" >"$ini_dir/LiveUpdate.ini"
  rm -f "$scratch"/pkg.exe*
  echo "$(QVX_EXE=$(winpath "$root/build/$1") run build/bench/wizard_timer.exe "${4:-download}" \
    "$(winpath "$bench/work")" pkg.exe "$(winpath "$scratch")")" \
    "served=$(control stats | sed -n 's/.*"body_bytes_sent": *\([0-9]*\).*/\1/p')"
  rm -f "$scratch"/pkg.exe* "$ini_dir/LiveUpdate.ini"
}
bare_download() {
  control script -d "{\"path\": \"/pkg.exe\", \"repeat_last\": true, \"responses\": [$1]}" >/dev/null
  control clear_requests -d '{}' >/dev/null
  echo "$(run build/bench/bare_wininet.exe get "http://127.0.0.1:$port/pkg.exe" "$(winpath "$scratch/bare.bin")" \
    "${2:-8192}" "${3:-whole}")" \
    "served=$(control stats | sed -n 's/.*"body_bytes_sent": *\([0-9]*\).*/\1/p')"
  rm -f "$scratch/bare.bin"
}
signed_record() {
  tools/publish-release --url-base "http://127.0.0.1:$port/" --as pkg.exe "$bench/files/pkg.exe" 3.0 Bench \
    /dev/null tests/keys/publisher.key "$bench/release" >/dev/null
  local answer
  answer=$(cat "$bench/release/answers/pkg.exe.xml")
  element() { sed -n "s:.*<$1>\\(.*\\)</$1>.*:\\1:p" <<<"$answer"; }
  printf 'size=%s\r\nsha256=%s\r\nsignature=%s\r\n' "$(element size)" "$(element sha256)" "$(element signature)"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
