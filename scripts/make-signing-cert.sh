#!/usr/bin/env bash
# Makes the build's test code-signing certificate: make-signing-cert.sh <output dir>
#   ca.pem            the test authority that `osslsigncode verify -CAfile` trusts
#   signer.pem        the code-signing certificate, issued by that authority
#   signer-chain.pem  signer.pem followed by ca.pem (embedded in every signature)
#   signer.key.pem    its private key
# The keys live only in the build folder: a clean build makes new ones, none is committed.
set -euo pipefail
out=$(realpath -m "${1:?usage: make-signing-cert.sh <output dir>}")
mkdir -p "$out"
[ -f "$out/signer-chain.pem" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/ext.cnf" <<'CNF'
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl req -new -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$work/ca.key.pem" \
  -subj "/C=US/O=Quillon Works/CN=Quillon Works Test Code Signing Authority" \
  -config "$work/ext.cnf" -extensions ca_ext -out "$work/ca.pem" 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -sha256 -keyout "$work/signer.key.pem" \
  -subj "/C=US/O=Quillon Works/CN=Quillon Works Test Code Signing" -out "$work/signer.csr" 2>/dev/null
openssl x509 -req -sha256 -days 1825 -in "$work/signer.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key.pem" \
  -set_serial 0x5A17C0DE01 -extfile "$work/ext.cnf" -extensions signer_ext -out "$work/signer.pem" 2>/dev/null
cat "$work/signer.pem" "$work/ca.pem" >"$work/signer-chain.pem"
# The authority's key signs nothing else: it is not kept.
cp "$work/ca.pem" "$work/signer.pem" "$work/signer.key.pem" "$out/"
cp "$work/signer-chain.pem" "$out/signer-chain.pem"
echo "make-signing-cert: test code-signing certificate in $out" >&2
