#!/usr/bin/env bash
# Registers the stand-in CSP, <bin dir>/ZeltCsp.dll, in the Wine prefix $WINEPREFIX (its
# provider key under HKLM names the DLL's path), once per prefix and path:
#   register-csp.sh <bin dir>
# Called with the prefix's server running (wine-test.sh, demo-token.sh).
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
dll=$(realpath -m "$1/ZeltCsp.dll")
[ -f "$dll" ] || exit 0  # a tree without the CSP: nothing to register
winpath="Z:$(printf '%s' "$dll" | sed 's#/#\\#g')"
marker="$WINEPREFIX/.zelt-csp"
[ "$(cat "$marker" 2>/dev/null)" = "$winpath" ] && exit 0
exec 9>"$WINEPREFIX.csp.lock"
flock 9
[ "$(cat "$marker" 2>/dev/null)" = "$winpath" ] && exit 0
if ! timeout 300 wine regsvr32 /s "$winpath" </dev/null >/dev/null 2>&1; then
  echo "register-csp: registering $winpath in $WINEPREFIX failed" >&2
  exit 1
fi
printf '%s' "$winpath" >"$marker"
