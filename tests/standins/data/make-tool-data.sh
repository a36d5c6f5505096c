#!/usr/bin/env bash
# Makes the input files of the zelt-token tests from the project's test certificates and
# keys (tests/data/certs): make-tool-data.sh. The outputs are kept in this folder.
#   jane-doe.pem          certificate and its key (PKCS #8) in one PEM file
#   leaf.key.der          the key of jane-doe as PKCS #8 DER
#   leaf.rsa.pem          the same key as PKCS #1 PEM
#   leaf.enc.pem          the same key, encrypted (the tool refuses it)
#   jane-doe.p12          certificate and key as PKCS #12, password "p12-secret"
#   jane-doe-aes.p12      the same with AES and PBKDF2 (what OpenSSL 3 makes by default)
set -euo pipefail
here=$(dirname "$(realpath "$0")")
certs=$(realpath "$here/../../data/certs")
cd "$here"
openssl x509 -inform DER -in "$certs/jane-doe.der" -out jane-doe.cert.pem
cat jane-doe.cert.pem "$certs/keys/leaf.key.pem" >jane-doe.pem
openssl pkcs8 -topk8 -nocrypt -in "$certs/keys/leaf.key.pem" -outform DER -out leaf.key.der
openssl rsa -in "$certs/keys/leaf.key.pem" -traditional -out leaf.rsa.pem 2>/dev/null
openssl pkcs8 -topk8 -in "$certs/keys/leaf.key.pem" -passout pass:secret -out leaf.enc.pem
openssl pkcs12 -export -in jane-doe.cert.pem -inkey "$certs/keys/leaf.key.pem" -passout pass:p12-secret \
  -certpbe PBE-SHA1-3DES -keypbe PBE-SHA1-3DES -macalg sha1 -out jane-doe.p12
openssl pkcs12 -export -in jane-doe.cert.pem -inkey "$certs/keys/leaf.key.pem" -passout pass:p12-secret \
  -out jane-doe-aes.p12
rm -f jane-doe.cert.pem
echo "make-tool-data: files in $here"
