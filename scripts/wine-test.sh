#!/usr/bin/env bash
# Runs one Windows test executable under Wine: wine-test.sh <exe> [args...]
# WINEPREFIX and DISPLAY come from the caller (ctest, under with-xvfb.sh).
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
here=$(dirname "$(realpath "$0")")
"$here/wine-prefix.sh" "$WINEPREFIX" || { echo "wine-test: cannot create prefix $WINEPREFIX" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-test: DISPLAY is not set; run the tests through scripts/with-xvfb.sh" >&2
  exit 1
fi
export WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEDEBUG="${WINEDEBUG:--all}"
export LANG="${ZELT_TEST_LANG:-C.UTF-8}" LC_ALL="${ZELT_TEST_LANG:-C.UTF-8}"
# The code under test reaches the token's CSP through CryptoAPI, which finds it in the registry.
"$here/register-csp.sh" "${ZELT_BIN_DIR:-$(dirname "$1")}" || exit 1
exec timeout -k 10 "${ZELT_TEST_TIMEOUT:-800}" wine "$@"
