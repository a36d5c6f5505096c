#!/usr/bin/env bash
# Makes the test certificates in tests/data/certs from the project's own test
# keys: make-test-certs.sh. Keys are generated once and kept in
# tests/data/certs/keys; with the same keys the certificates come out byte for
# byte the same (fixed serials and dates, deterministic RSA signatures).
# For each certificate NAME: NAME.der and NAME.sha1 (its SHA-1 in hex, as an
# independent check of the thumbprint the code reads). jane-doe.p12 and
# example-corp.p12 hold those certificates with their key (PKCS #12, password
# "p12-secret"); their salts are random, so they change at every run.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
out=$(realpath -m "$here/../tests/data/certs")
keys=$out/keys
mkdir -p "$keys"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for key in ca leaf; do
  [ -f "$keys/$key.key.pem" ] ||
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$keys/$key.key.pem" 2>/dev/null
done

cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $work
database = $work/index.txt
new_certs_dir = $work/issued
serial = $work/serial
default_md = sha256
policy = keep_names
preserve = yes
unique_subject = no
copy_extensions = none
email_in_dn = no
[keep_names]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
[req]
distinguished_name = req_dn
prompt = no
[req_dn]
CN = unused
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[client_logon]
extendedKeyUsage = clientAuth, msSmartcardLogin
[unknown_usage]
extendedKeyUsage = 1.3.6.1.4.1.55555.7.1, emailProtection
[no_usage]
basicConstraints = CA:FALSE
[empty_usage]
# An extended key usage extension whose list holds no identifier.
2.5.29.37 = DER:30:00
[details_ext]
# No decipherOnly: a key usage of two bytes makes Wine's CertGetIntendedKeyUsage fail with a
# one-byte buffer (Windows gives the first byte).
keyUsage = digitalSignature, keyEncipherment, keyAgreement, encipherOnly
# One distribution point whose URL holds a comma: http://crl.example/a,b.crl
2.5.29.31 = DER:30:22:30:20:A0:1E:A0:1C:86:1A:68:74:74:70:3a:2f:2f:63:72:6c:2e:65:78:61:6d:70:6c:65:2f:61:2c:62:2e:63:72:6c
certificatePolicies = 1.2.3.4
[unreadable_usage]
# An extended key usage extension that is not a SEQUENCE, so it cannot be decoded.
2.5.29.37 = DER:04:00
CNF

# issue NAME SUBJECT SERIAL(hex) EXTENSIONS SIGNER(ca|self)
issue() {
  local name=$1 subject=$2 serial=$3 ext=$4 signer=$5 key=leaf
  [ "$signer" = self ] && key=ca
  rm -rf "$work/issued" && mkdir "$work/issued"
  : >"$work/index.txt"
  echo "$serial" >"$work/serial"
  openssl req -new -config "$work/ca.cnf" -key "$keys/$key.key.pem" -subj "$subject" \
    -out "$work/$name.csr"
  local signing=(-cert "$work/ca.pem" -keyfile "$keys/ca.key.pem")
  [ "$signer" = self ] && signing=(-selfsign -keyfile "$keys/ca.key.pem")
  openssl ca -batch -notext -preserveDN -config "$work/ca.cnf" "${signing[@]}" \
    -startdate 20250101000000Z -enddate 20350101000000Z ${ext:+-extensions "$ext"} \
    -in "$work/$name.csr" -out "$work/$name.cert.pem" 2>"$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }
  openssl x509 -in "$work/$name.cert.pem" -outform DER -out "$out/$name.der"
  openssl x509 -in "$work/$name.cert.pem" -noout -fingerprint -sha1 |
    sed 's/.*=//; s/://g' | tr 'A-F' 'a-f' >"$out/$name.sha1"
  [ "$signer" = self ] && cp "$work/$name.cert.pem" "$work/ca.pem"
  return 0
}

issue ca           "/C=US/O=Example/CN=Zelt Test CA"  01                               ca_ext           self
issue jane-doe     "/C=US/O=Example/CN=Jane Doe"      0A1B2C3D4E5F60718293A4B5C6D7E8F9 client_logon     ca
issue example-corp "/C=DE/O=Example Corp"             0A1B2C                           unknown_usage    ca
issue unit         "/OU=Unit/C=US"                    8A1B2C                           no_usage         ca
issue doe-comma    "/CN=Doe, Jane"                    0B                               empty_usage      ca
issue bad-usage    "/C=US/CN=Bad Usage"               0C                               unreadable_usage ca
issue details      "/C=US/O=Example/CN=Field Test"    0D                               details_ext      ca
# No extensions: a version 1 certificate.
issue version1     "/CN=Version One"                  0E                               ""               ca
issue john-roe     "/C=US/O=Example/CN=John Roe"      0F                               client_logon     ca
# 3DES and SHA-1: the PKCS #12 form every CryptoAPI reads.
for name in jane-doe example-corp; do
  openssl x509 -inform DER -in "$out/$name.der" -out "$work/$name.pem"
  openssl pkcs12 -export -in "$work/$name.pem" -inkey "$keys/leaf.key.pem" -passout pass:p12-secret \
    -certpbe PBE-SHA1-3DES -keypbe PBE-SHA1-3DES -macalg sha1 -out "$out/$name.p12"
done
echo "make-test-certs: certificates in $out"
