#!/bin/bash
# Size of the shipped exe (the 32-bit Release build, stripped as it ships), by
# section as it lies in the file. Figure: code and data, i.e. the file less
# its resources (pictures, icon, dialogs, strings, manifest), against the
# limit of 500 KB (500,000 bytes).
#   bench/size.sh          as root on Debian 12; builds what it needs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup.sh
# shellcheck source=tools/configure.sh
. tools/configure.sh
configure_build build
cmake --build build --target QVXLiveUpdate >/dev/null

exe=build/QVXLiveUpdate.exe
file_bytes=$(stat -c %s "$exe")
echo "== $exe, $file_bytes bytes =="
# objdump -h gives each section's size and, on the line after, whether it
# takes room in the file (.bss does not).
sum=0 rsrc=0
while read -r _ name size _ _ _ _; read -r flags; do
  bytes=$((16#$size))
  [[ $flags == *CONTENTS* ]] || { printf '%-16s %10s bytes in the file (%d in memory)\n' "$name" 0 "$bytes"; continue; }
  printf '%-16s %10d bytes\n' "$name" "$bytes"
  sum=$((sum + bytes))
  [[ $name == .rsrc ]] && rsrc=$bytes
done < <(i686-w64-mingw32-objdump -h "$exe" | grep -A1 -E '^ +[0-9]+ ' | grep -v '^--')
printf '%-16s %10d bytes\n' "headers, padding" $((file_bytes - sum))
echo "resources (.rsrc): $rsrc bytes"
echo "code and data (the file less .rsrc): $((file_bytes - rsrc)) bytes"
awk -v c=$((file_bytes - rsrc)) 'BEGIN {
  printf "ratio code and data / 500,000 bytes: %.2f\n", c / 500000
  printf "target: at most 1 (code and data at most 500 KB)\n" }'
