#!/usr/bin/env bash
# make demo: demo.sh <build dir>
# Runs the Token Utility with the user page on a provisioned software token in a demo Wine
# prefix (<build>/demo/wineprefix). With a display the window opens there; without one it
# runs under Xvfb, saves a screenshot and prints its path. Builds nothing: `make demo`
# builds first.
set -euo pipefail
build=$(realpath -m "${1:-build}")
here=$(dirname "$(realpath "$0")")
bin=$build/win32/bin
for f in TokenUtility.exe zelt-token.exe ZeltP11.dll ZeltCsp.dll ZeltUtilImportCert.dll ZeltUtilUserPage.dll; do
  [ -f "$bin/$f" ] || { echo "demo: $bin/$f is missing; run make build first" >&2; exit 1; }
done
demo=$build/demo
mkdir -p "$demo"
bash "$here/make-demo-certs.sh" "$demo/certs"

if [ -n "${DISPLAY:-}" ] && [ -z "${ZELT_DEMO_HEADLESS:-}" ]; then
  echo "demo: opening the Token Utility on $DISPLAY" >&2
  ZELT_USE_DISPLAY=1 "$here/with-xvfb.sh" "$demo/wineprefix" bash "$here/demo-token.sh" "$build" window
else
  unset DISPLAY
  "$here/with-xvfb.sh" "$demo/wineprefix" bash "$here/demo-token.sh" "$build" screenshot
fi
