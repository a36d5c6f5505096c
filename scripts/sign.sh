#!/usr/bin/env bash
# Signs a binary or an installer package with the build's test certificate (Authenticode,
# SHA-256) and verifies the signature against the test authority:
#   sign.sh <certificate dir> <input> <output> <description>
set -euo pipefail
certs=$1 in=$2 out=$3 description=$4
rm -f "$out"
osslsigncode sign -certs "$certs/signer-chain.pem" -key "$certs/signer.key.pem" -h sha256 \
  -n "$description" -i "https://example.com/zelt" -in "$in" -out "$out" >/dev/null
if ! osslsigncode verify -CAfile "$certs/ca.pem" -in "$out" >"$out.verify.log" 2>&1; then
  cat "$out.verify.log" >&2
  rm -f "$out"
  exit 1
fi
rm -f "$out.verify.log"
