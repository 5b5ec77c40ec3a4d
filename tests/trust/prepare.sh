#!/bin/bash
# Stand-in packages for the package-trust tests, published into the fault
# server's files folder the way a release is published (tools/publish-release):
#
#   prepare.sh <files-dir> <fake_installer.exe>
#
# Leaves <files-dir>/packages/<name> and its answer <files-dir>/answers/<name>.xml
# (size, sha256 and signature filled in; download address on the fault server,
# http://127.0.0.1:$FAULT_PORT/files/packages/<name>) for each <name>:
#   trust-signed.exe        Authenticode-signed by the test signer; test key
#   trust-other-signer.exe  signed by the other signer (same test CA); test key
#   trust-tampered.exe      signed by the test signer, then one byte of code
#                           changed; test key (its signature covers the change)
#   trust-unsigned.exe      no Authenticode signature; test key
#   trust-other-key.exe     the same bytes as trust-signed.exe; other key
#   trust-old.exe           the same bytes as trust-signed.exe, an older
#                           release: version 2.1; test key
# All but the old one offer version 3.0 of "Qora企业版". Keys and
# certificates: tests/keys.
set -euo pipefail
files=${1:?usage: prepare.sh <files-dir> <fake_installer.exe>}
installer=${2:?usage: prepare.sh <files-dir> <fake_installer.exe>}
here=$(cd "$(dirname "$0")" && pwd)
keys=$here/../keys
publish=$here/../../tools/publish-release
url_base="http://127.0.0.1:${FAULT_PORT:?the test servers are not started}/files/packages/"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "A release of the package-trust tests." >"$work/notes.txt"

sign() { # <certificate name> <in> <out>
  osslsigncode sign -certs "$keys/$1.crt" -ac "$keys/ca.crt" -key "$keys/$1.key" -h sha256 \
    -n "Qora" -in "$2" -out "$3" >/dev/null
}
sign signer "$installer" "$work/signed.exe"
sign other-signer "$installer" "$work/other-signer.exe"
cp "$work/signed.exe" "$work/tampered.exe"
# One byte of the first section (code, covered by the signature's digest).
python3 - "$work/tampered.exe" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    section = pe + 24 + optional_size
    offset = struct.unpack_from("<I", data, section + 20)[0] + 16
    f.seek(offset)
    byte = f.read(1)[0]
    f.seek(offset)
    f.write(bytes([byte ^ 0xFF]))
PY

release() { # <package> <name> <private key> [<version>]
  "$publish" --url-base "$url_base" --as "$2" "$1" "${4:-3.0}" "Qora企业版" "$work/notes.txt" "$keys/$3" "$files" >/dev/null
}
release "$work/signed.exe" trust-signed.exe publisher.key
release "$work/other-signer.exe" trust-other-signer.exe publisher.key
release "$work/tampered.exe" trust-tampered.exe publisher.key
release "$installer" trust-unsigned.exe publisher.key
release "$work/signed.exe" trust-other-key.exe other.key
release "$work/signed.exe" trust-old.exe publisher.key 2.1
