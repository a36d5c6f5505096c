#!/usr/bin/env bash
# The part of the demo that runs under Wine: demo-token.sh <build dir> window|tour
# Called by demo.sh inside with-xvfb.sh (WINEPREFIX, DISPLAY and a wineserver are set up).
# Registers the page, provisions the demo token, signs a text with its logon certificate, and
# walks through the page's dialogs for the guide's screenshots or starts the Token Utility.
set -euo pipefail
build=$(realpath -m "$1")
mode=$2
bin=$build/win32/bin
here=$(dirname "$(realpath "$0")")
demo=$build/demo
certs=$demo/certs
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# A Unix path as Wine programs see it.
win() { printf 'Z:%s' "$(realpath -m "$1" | sed 's#/#\\#g')"; }
step() { echo "demo: $*" >&2; }

serial=ZT4A7C21
password=Zelt-1234
export ZELT_SOFTTOKEN_DIR
ZELT_SOFTTOKEN_DIR=$(win "$demo/token")

step "registering ZeltUtilUserPage.dll in $WINEPREFIX"
timeout 600 wine regsvr32 /s "$(win "$bin/ZeltUtilUserPage.dll")" ||
  { echo "demo: regsvr32 failed; the host loads the page from its file instead" >&2; }

step "registering the token's CSP (ZeltCsp.dll) in $WINEPREFIX"
bash "$here/register-csp.sh" "$bin"

step "provisioning the demo token $serial in $demo/token"
rm -rf "$demo/token"
mkdir -p "$demo/token"
cat >"$demo/provision.txt" <<BATCH
create --serial $serial --label "Jane's Zelt" --so-pin 87654321 --password $password --device-pin 2468 --device-puk 13572468
# In containers: the logon key pair with the e-mail signature key, and last year's logon certificate.
add-cert --serial $serial --password $password --cert "$(win "$certs/jane-logon.p12")" --pfx-password demo --label "Jane Doe Logon" --container "Jane Doe" --key-spec exchange
add-cert --serial $serial --password $password --cert "$(win "$certs/jane-mail.pem")" --key "$(win "$certs/jane-mail.key.pem")" --label "Jane Doe E-Mail" --container "Jane Doe" --key-spec signature
add-cert --serial $serial --password $password --cert "$(win "$certs/jane-2019.der")" --key "$(win "$certs/jane-2019.key.der")" --label "Jane Doe 2019" --container "Jane Doe 2019"
# Without containers.
add-cert --serial $serial --password $password --cert "$(win "$certs/long-names.der")" --key "$(win "$certs/long-names.key.der")" --label "Long names"
add-cert --serial $serial --password $password --cert "$(win "$certs/doe-comma.p12")" --pfx-password demo --label "Doe, Jane"
add-cert --serial $serial --password $password --cert "$(win "$certs/vpn.pem")" --key "$(win "$certs/vpn.key.pem")" --label "VPN"
tokens
BATCH
timeout 600 wine "$bin/zelt-token.exe" batch "$(win "$demo/provision.txt")"
step "registering \"Doe, Jane\" in the \"MY\" store"
timeout 600 wine "$bin/zelt-token.exe" register-my --cert "$(win "$certs/doe-comma.der")"

# The logon certificate in "MY" with the key provider information the page's Register writes
# (the CSP, container "Jane Doe", the key-exchange key); an ordinary CryptoAPI client then signs
# with it: CryptSignMessage reaches the token through the CSP, CryptVerifyMessageSignature checks.
step "signing a short text with the registered logon certificate"
timeout 600 wine "$bin/zelt-token.exe" register-my --cert "$(win "$certs/jane-logon.p12")" --pfx-password demo \
  --container "Jane Doe" --key-spec exchange
timeout 600 wine "$bin/zelt-sign.exe" --cert "$(win "$certs/jane-logon.p12")" --pfx-password demo \
  --password "$password" --text "Hello from Jane's Zelt token"

if [ "$mode" = window ]; then
  step "starting the Token Utility (close its window to end the demo)"
  wine "$bin/TokenUtility.exe" --serial "$serial"
  exit 0
fi

# The guide's screenshots: a walk through the page and its dialogs (scripts/demo-tour.steps).
shots=$demo/screenshots
rm -rf "$shots" && mkdir -p "$shots"
step "walking through the page's dialogs; the screenshots go to $shots"
( cd "$shots" && timeout 900 wine "$bin/TokenUtility.exe" --serial "$serial" --steps "$(win "$here/demo-tour.steps")" \
    --exit-after "${ZELT_DEMO_WAIT_MS:-240000}" ) || { echo "demo: the walk through the dialogs failed" >&2; exit 1; }
for name in $(bash "$here/demo.sh" --list-screenshots); do
  [ -s "$shots/$name" ] || { echo "demo: no screenshot $name was written" >&2; exit 1; }
  echo "Screenshot: $shots/$name"
done
