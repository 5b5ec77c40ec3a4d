#!/bin/bash
# Makes the key material the tests use, once; the outputs are committed.
# Nothing here may ever sign a real release.
#
#   publisher.key / publisher.pem     ECDSA P-256 pair the test builds embed
#   other.key / other.pem             a second P-256 pair: "signed by someone else"
#   ca.key / ca.crt                   a test certificate authority
#   signer.key / signer.crt           code-signing certificate issued by the test CA
#   other-signer.key / .crt           a second code-signing certificate, same CA
#   signer.sha256, other-signer.sha256  SHA-256 of each certificate's DER bytes (hex)
#   p384.pem, rsa.pem                 public keys of kinds the program must refuse
#
# Certificates are valid for 100 years. Run again with --force to replace
# everything (the unit tests keep a signature made with publisher.key as a
# constant, which then has to be made again).
set -euo pipefail
cd "$(dirname "$0")"
if [[ -e publisher.key && ${1:-} != --force ]]; then
  echo "make.sh: key material exists; use --force to replace it" >&2
  exit 1
fi
days=36500

ec_pair() {
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -pkeyopt ec_param_enc:named_curve -out "$1.key"
  openssl pkey -in "$1.key" -pubout -out "$1.pem"
}
ec_pair publisher
ec_pair other

openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 2>/dev/null | openssl pkey -pubout -out p384.pem
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 2>/dev/null | openssl pkey -pubout -out rsa.pem

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days $days -sha256 \
  -subj "/CN=QVXLiveUpdate Test CA" \
  -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign"

ext=$(mktemp)
trap 'rm -f "$ext" ./*.csr ca.srl' EXIT
printf '%s\n' "basicConstraints=critical,CA:false" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >"$ext"
signer() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2"
  openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -days $days -sha256 \
    -extfile "$ext" -out "$1.crt"
  openssl x509 -in "$1.crt" -outform der | sha256sum | cut -d' ' -f1 >"$1.sha256"
}
signer signer "QVXLiveUpdate Test Publisher"
signer other-signer "QVXLiveUpdate Other Publisher"
