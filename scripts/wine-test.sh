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
# ZELT_WINE_GRAPHICS=null: Wine's null display driver, for a suite whose windows nobody looks at
# (the fault sweep runs thousands of flows): the same windows and message loops without a round
# trip to the X server for each window.
if [ -n "${ZELT_WINE_GRAPHICS:-}" ]; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$ZELT_WINE_GRAPHICS" /f >/dev/null 2>&1 || exit 1
fi
exec timeout -k 10 "${ZELT_TEST_TIMEOUT:-800}" wine "$@"
