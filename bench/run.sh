#!/bin/bash
# Benchmarks of the wizard's network work, each against yardsticks measured
# in the same run, in the same Wine prefix, from the same nginx on loopback:
#   - the version check: Next on the Welcome page to the NewVersion page,
#     against a bare WinINet POST of the same request;
#   - the package download (64 MiB and 1 GiB) by the shipped build with a
#     record that names no checks, by the shipped build with a record that
#     names the package's size, SHA-256 and signature, and by the keyed build
#     with that record (it refuses one without them), from Next until the
#     package has its name, with the wizard's peak private memory; against
#     the bare WinINet loop in each of its ways (blocks of 8 KiB to 1 MiB,
#     read whole, read as InternetQueryDataAvailable says, read as they
#     arrive), the best of which is the yardstick, against native curl (what
#     the server gives) and against the platform's SHA-256 on its own (what a
#     download that hashes every byte can reach). For each bare loop also the
#     reads per MiB and the CPU time of the Wine server and of nginx.
# Run as root on Debian 12, like the two commands of the README.
#   QVX_BENCH_SIZES="64M" bench/run.sh     other package sizes (64M 1G by default)
#   QVX_BENCH_ROUNDS=5 bench/run.sh        more download rounds (3 by default)
#   QVX_BENCH_WAYS="1048576 arrived" QVX_BENCH_BUILDS=plain bench/run.sh
#                                          only these bare ways and builds
# QVX_BENCH_PORT sets nginx's port (default 18590).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# The shipped wizard is the one the tests run (no publisher key); the keyed
# one embeds the test publisher key.
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target QVXLiveUpdate QVXLiveUpdate_keyed fake_installer QOravel bare_wininet \
  wizard_timer >/dev/null

bench=$root/build/bench-run
port=${QVX_BENCH_PORT:-18590}
rounds=${QVX_BENCH_ROUNDS:-3}
rm -rf "$bench"
mkdir -p "$bench/www/packages"
# Every transfer writes into memory (tmpfs), so that what is measured is the
# network path and not this machine's disk; a folder of this port's, as
# another worktree's run may be going on beside.
scratch=/dev/shm/qvx-bench-$port
mkdir -p "$scratch"
for size in ${QVX_BENCH_SIZES:-64M 1G}; do
  # A runnable package padded to its size, as real installers carry payloads.
  cp build/standins/fake_installer.exe "$bench/www/packages/pkg-$size.exe"
  truncate -s "$size" "$bench/www/packages/pkg-$size.exe"
done

# shellcheck source=tools/session.sh
. tools/session.sh
stop_bench() {
  [[ -n "${client:-}" ]] && kill "$client" 2>/dev/null || true
  rm -rf "$scratch"
  session_stop
}
trap stop_bench EXIT
session_start_display
session_start_wine "$root/build/wineprefix"
# The reference server without the demo's rate limits.
session_start_update_server "$bench" "$port" "http://127.0.0.1:$port/packages/pkg-64M.exe" fast

run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }
session_install_client
export QVX_EXE
work=$(winpath "$bench/work")
ini_dir="$QVX_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Qoravel"
mkdir -p "$ini_dir"
value() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# CPU time (ms) of this prefix's Wine server and of nginx's workers, for what
# each transfer costs them.
wineserver_pid=""
for pid in $(pgrep wineserver || true); do
  tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$QVX_WINEPREFIX" && wineserver_pid=$pid
done
nginx_pids=$(pgrep -P "$(cat "$bench/run/nginx.pid")" | tr '\n' ' ')
cpu_ms() { # <pid>...: user and system time, ms
  local ticks=0 pid
  for pid in "$@"; do ticks=$((ticks + $(awk '{ print $14 + $15 }' "/proc/$pid/stat"))); done
  echo $((ticks * 1000 / $(getconf CLK_TCK)))
}

echo "== version check (median of 9) =="
rm -f "$ini_dir/LiveUpdate.ini"
QVX_EXE=$(winpath "$root/build/QVXLiveUpdate.exe")
wizard=$(run build/bench/wizard_timer.exe check "$work" 9)
bare=$(run build/bench/bare_wininet.exe post 127.0.0.1 "$port" 9)
echo "wizard, Next to NewVersion page: $(value check_median_ms "$wizard") ms"
echo "bare WinINet POST:               $(value post_median_ms "$bare") ms"
check_ratio=$(ratio "$(value check_median_ms "$wizard")" "$(value post_median_ms "$bare")")
echo "ratio wizard / bare:             $check_ratio"
summary="ratio version check / bare POST: $check_ratio (target at most 4)"$'\n'

echo "== the platform's SHA-256 on its own (1 GiB, median of 3) =="
hash_runs=""
for _ in 1 2 3; do hash_runs+=$(run build/bench/bare_wininet.exe sha256 1024)$'\n'; done
hash_rate=$(grep -o 'mib_per_s=[0-9.]*' <<<"$hash_runs" | cut -d= -f2 | median)
echo "runs, MiB/s: $(grep -o 'mib_per_s=[0-9.]*' <<<"$hash_runs" | cut -d= -f2 | tr '\n' ' ')"
echo "SHA-256: $hash_rate MiB/s"

# A running client holds the wizard at its question once the package is
# complete, so the installer does not start in the middle of the figures.
run build/standins/QOravel.exe >/dev/null 2>&1 &
client=$!

# The bare loop's ways: "<block bytes> <way>".
ways=()
for way in whole asked arrived; do
  for block in 8192 65536 262144 1048576; do ways+=("$block $way"); done
done
# The loop both builds ran before they read as bytes arrive, with what the
# keyed build added: the copy of each block into the hashing ring, and the
# hashing thread that kept the other processor busy.
ways+=("8192 copied" "8192 busy")
if [[ -n ${QVX_BENCH_WAYS:-} ]]; then
  ways=()
  read -ra words <<<"$QVX_BENCH_WAYS"
  for ((i = 0; i + 1 < ${#words[@]}; i += 2)); do ways+=("${words[i]} ${words[i + 1]}"); done
fi
way_name() { # <block bytes> <way>
  local what size="$(($1 / 1024)) KiB"
  (($1 % 1048576 == 0)) && size="$(($1 / 1048576)) MiB"
  case $2 in
    whole) what="read whole" ;;
    asked) what="read as asked" ;;
    copied) what="read as asked, copied into a ring" ;;
    busy) what="read as asked, the other processor busy" ;;
    arrived) what="read as they arrive" ;;
  esac
  echo "$size blocks $what"
}
read -ra builds <<<"${QVX_BENCH_BUILDS:-plain checked keyed}"
build_name() {
  case $1 in
    plain) echo "shipped build, record without checks" ;;
    checked) echo "shipped build, record with size, SHA-256, signature" ;;
    keyed) echo "keyed build, every check" ;;
  esac
}

for size in ${QVX_BENCH_SIZES:-64M 1G}; do
  url="http://127.0.0.1:$port/packages/pkg-$size.exe"
  # The record lines that name the package's size, SHA-256 and signature, made
  # by the release tool with the test publisher key the keyed build embeds.
  tools/publish-release --url-base "http://127.0.0.1:$port/packages/" --as "pkg-$size.exe" \
    "$bench/www/packages/pkg-$size.exe" 3.0 Bench /dev/null tests/keys/publisher.key "$bench/release-$size" \
    >/dev/null
  answer=$(cat "$bench/release-$size/answers/pkg-$size.exe.xml")
  element() { sed -n "s:.*<$1>\\(.*\\)</$1>.*:\\1:p" <<<"$answer"; }
  checks=$(printf 'size=%s\r\nsha256=%s\r\nsignature=%s\r\n' "$(element size)" "$(element sha256)" \
    "$(element signature)")
  bare_once() { # <block> <way>
    local before_server before_nginx figures
    before_server=$(cpu_ms "$wineserver_pid")
    # shellcheck disable=SC2086
    before_nginx=$(cpu_ms $nginx_pids)
    figures=$(run build/bench/bare_wininet.exe get "$url" "$(winpath "$scratch/bare.bin")" "$1" "$2")
    # shellcheck disable=SC2086
    echo "$figures wineserver_cpu_ms=$(($(cpu_ms "$wineserver_pid") - before_server))" \
      "nginx_cpu_ms=$(($(cpu_ms $nginx_pids) - before_nginx))"
    rm -f "$scratch/bare.bin"
  }
  wizard_once() { # <build>
    local exe=QVXLiveUpdate.exe extra=""
    [[ $1 == keyed ]] && exe=QVXLiveUpdate_keyed.exe
    [[ $1 != plain ]] && extra=$checks
    printf '[Run]\r\nfrom=1\r\n[Update]\r\nnewversionname=Bench\r\nnewversion=3.0\r\ndownloadurl=%s\r\n%s' \
      "$url" "$extra" >"$ini_dir/LiveUpdate.ini"
    QVX_EXE=$(winpath "$root/build/$exe") run build/bench/wizard_timer.exe download "$work" "pkg-$size.exe" \
      "$(winpath "$scratch")"
  }
  curl_once() {
    echo "mib_per_s=$(curl -s -o "$scratch/curl.bin" -w '%{speed_download}' "$url" |
      awk '{ printf "%.1f", $1 / 1048576 }')"
    rm -f "$scratch/curl.bin"
  }
  echo "== download of $size, $rounds rounds =="
  # One of each to warm up (the first transfer after a start is often the
  # fastest, whoever makes it), then rounds that take every configuration in
  # turn, in the opposite order every other round; each is judged by its
  # median.
  bare_once 1048576 whole >/dev/null
  wizard_once plain >/dev/null
  declare -A runs=()
  configs=("${ways[@]}" curl "${builds[@]}")
  for round in $(seq "$rounds"); do
    order=("${configs[@]}")
    if ((round % 2 == 0)); then
      order=()
      for ((i = ${#configs[@]} - 1; i >= 0; i--)); do order+=("${configs[i]}"); done
    fi
    for config in "${order[@]}"; do
      case $config in
        curl) runs[$config]+=$(curl_once)$'\n' ;;
        plain | checked | keyed) runs[$config]+=$(wizard_once "$config")$'\n' ;;
        *) runs[$config]+=$(bare_once "${config% *}" "${config#* }")$'\n' ;;
      esac
    done
  done
  field() { grep -o "$1=[0-9.]*" <<<"$2" | cut -d= -f2; }
  per_gib() { awk -v bytes="$(numfmt --from=iec "$size")" '{ printf "%d", $1 * 1073741824 / bytes }'; }
  best="" best_rate=0
  for config in "${ways[@]}"; do
    rate=$(field mib_per_s "${runs[$config]}" | median)
    # shellcheck disable=SC2086
    printf '%-36s %s MiB/s (runs %s), %s reads/MiB, %s queries/MiB, %s waits/MiB, %s bytes/read, per GiB: Wine server %s ms, nginx %s ms\n' \
      "bare WinINet, $(way_name $config):" "$rate" "$(field mib_per_s "${runs[$config]}" | tr '\n' ' ' | sed 's/ $//')" \
      "$(field reads_per_mib "${runs[$config]}" | median)" "$(field queries_per_mib "${runs[$config]}" | median)" \
      "$(field waits_per_mib "${runs[$config]}" | median)" \
      "$(field bytes_per_read "${runs[$config]}" | median)" \
      "$(field wineserver_cpu_ms "${runs[$config]}" | median | per_gib)" \
      "$(field nginx_cpu_ms "${runs[$config]}" | median | per_gib)"
    if awk -v a="$rate" -v b="$best_rate" 'BEGIN { exit !(a > b) }'; then best=$config best_rate=$rate; fi
  done
  eight=$(field mib_per_s "${runs[8192 whole]:-}" | median || true)
  curl_rate=$(field mib_per_s "${runs[curl]}" | median)
  echo "native curl:                         $curl_rate MiB/s (runs $(field mib_per_s "${runs[curl]}" | tr '\n' ' ' | sed 's/ $//'))"
  # shellcheck disable=SC2086
  echo "best bare WinINet:                   $best_rate MiB/s ($(way_name $best)); with 8 KiB blocks read whole: $eight MiB/s"
  for build in "${builds[@]}"; do
    rate=$(field mib_per_s "${runs[$build]}" | median)
    printf '%-36s %s MiB/s (runs %s), complete %s, peak private %s KiB\n' "wizard, $(build_name "$build"):" \
      "$rate" "$(field mib_per_s "${runs[$build]}" | tr '\n' ' ' | sed 's/ $//')" \
      "$(field complete "${runs[$build]}" | tr '\n' ' ' | sed 's/ $//')" \
      "$(field peak_private_kib "${runs[$build]}" | sort -n | tail -1)"
    # shellcheck disable=SC2086
    summary+="ratio download of $size, $(build_name "$build") / best bare WinINet ($(way_name $best), $best_rate MiB/s): $(ratio "$rate" "$best_rate") (target at least 0.95)"$'\n'
    [[ $build != plain ]] &&
      summary+="ratio download of $size, $(build_name "$build") / the platform's SHA-256 ($hash_rate MiB/s): $(ratio "$rate" "$hash_rate")"$'\n'
  done
  [[ -n $eight ]] &&
    summary+="ratio download of $size, best bare WinINet / bare WinINet with 8 KiB blocks read whole ($eight MiB/s): $(ratio "$best_rate" "$eight")"$'\n'
  summary+="ratio download of $size, best bare WinINet / native curl ($curl_rate MiB/s): $(ratio "$best_rate" "$curl_rate")"$'\n'
  unset runs
done
rm -f "$ini_dir/LiveUpdate.ini"
echo "== summary =="
printf '%s' "$summary"
