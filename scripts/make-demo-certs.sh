#!/usr/bin/env bash
# Makes the demo's certificates: make-demo-certs.sh <output dir>
# A small CA issues six certificates with their own RSA keys, in the forms the
# provisioning tool reads (PEM, DER, PKCS #12 with the password "demo"):
#   jane-logon    Jane Doe, smart card logon (the token's logon certificate)
#   jane-mail     Jane Doe, e-mail signing
#   jane-2019     Jane Doe, expired in 2021
#   long-names    very long subject and issuer-side names
#   doe-comma     "Doe, Jane": a name with a comma
#   vpn           a VPN client certificate
# Files that exist are kept, so certificates registered in a demo prefix stay valid.
set -euo pipefail
out=$(realpath -m "${1:?usage: make-demo-certs.sh <output dir>}")
mkdir -p "$out"
if [ -f "$out/.complete" ]; then
  echo "make-demo-certs: certificates in $out (kept)" >&2
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

key() {  # key NAME: an RSA key, made once
  [ -f "$out/$1.key.pem" ] ||
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$out/$1.key.pem" 2>/dev/null
}

cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = demo_ca
[demo_ca]
dir = $work
database = $work/index.txt
new_certs_dir = $work/issued
serial = $work/serial
default_md = sha256
policy = any_names
preserve = yes
unique_subject = no
copy_extensions = none
email_in_dn = no
[any_names]
countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
[req]
distinguished_name = req_dn
prompt = no
[req_dn]
CN = unused
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[logon]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = clientAuth, 1.3.6.1.4.1.311.20.2.2
subjectAltName = otherName:1.3.6.1.4.1.311.20.2.3;UTF8:jane.doe@example.com
[mail]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = emailProtection
subjectAltName = email:jane.doe@example.com
[client]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = clientAuth
CNF

# issue NAME SUBJECT SERIAL(hex) EXTENSIONS START END
issue() {
  local name=$1 subject=$2 serial=$3 ext=$4 start=$5 end=$6
  key "$name"
  rm -rf "$work/issued" && mkdir "$work/issued"
  : >"$work/index.txt"
  echo "$serial" >"$work/serial"
  openssl req -new -config "$work/ca.cnf" -key "$out/$name.key.pem" -subj "$subject" -utf8 -out "$work/$name.csr"
  openssl ca -batch -notext -preserveDN -utf8 -config "$work/ca.cnf" -cert "$out/ca.pem" -keyfile "$out/ca.key.pem" \
    -startdate "$start" -enddate "$end" -extensions "$ext" -in "$work/$name.csr" -out "$out/$name.pem" \
    2>"$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }
  openssl x509 -in "$out/$name.pem" -outform DER -out "$out/$name.der"
  openssl pkcs8 -topk8 -nocrypt -in "$out/$name.key.pem" -outform DER -out "$out/$name.key.der"
  # 3DES and SHA-1: the PKCS #12 form every CryptoAPI reads.
  openssl pkcs12 -export -in "$out/$name.pem" -inkey "$out/$name.key.pem" -certfile "$out/ca.pem" \
    -name "$name" -passout pass:demo -certpbe PBE-SHA1-3DES -keypbe PBE-SHA1-3DES -macalg sha1 -out "$out/$name.p12"
}

key ca
openssl req -new -x509 -config "$work/ca.cnf" -key "$out/ca.key.pem" -extensions ca_ext -set_serial 1 -days 7300 \
  -subj "/C=US/O=Example Corp/CN=Example Corp Issuing CA" -out "$out/ca.pem"
openssl x509 -in "$out/ca.pem" -outform DER -out "$out/ca.der"

issue jane-logon "/C=US/O=Example Corp/OU=Engineering/CN=Jane Doe" 1A2B3C4D5E6F0001 logon \
  20250101000000Z 20350101000000Z
issue jane-mail "/C=US/O=Example Corp/OU=Engineering/CN=Jane Doe E-Mail/emailAddress=jane.doe@example.com" \
  1A2B3C4D5E6F0002 mail 20250101000000Z 20350101000000Z
issue jane-2019 "/C=US/O=Example Corp/OU=Engineering/CN=Jane Doe (2019)" 1A2B3C4D5E6F0003 logon \
  20190101000000Z 20210101000000Z
issue long-names "/C=GB/O=Example Corporation International Holdings and Subsidiaries Ltd/OU=Cryptographic Key Management and Certificate Lifecycle Services/CN=Maximiliane Alexandra Konstantinopoulou-Featherstonehaugh" \
  1A2B3C4D5E6F0004 client 20250101000000Z 20350101000000Z
issue doe-comma "/C=US/O=Example Corp/CN=Doe, Jane" 1A2B3C4D5E6F0005 client 20250101000000Z 20350101000000Z
issue vpn "/C=US/O=Example Corp/OU=Remote Access/CN=jane.doe VPN" 1A2B3C4D5E6F0006 client \
  20250101000000Z 20350101000000Z
touch "$out/.complete"
echo "make-demo-certs: certificates in $out" >&2
