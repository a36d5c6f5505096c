#!/usr/bin/env bash
# make demo: demo.sh <build dir>
#        demo.sh --list-screenshots   (the names of the screenshots it writes)
# Runs the Token Utility with the user page on a provisioned software token in a demo Wine
# prefix (<build>/demo/wineprefix). It first walks through the page's dialogs under Xvfb and
# saves the screenshots of the user's guide in <build>/demo/screenshots (docs/images holds
# copies: scripts/update-guide-images.sh); then, with a display, the window opens there.
# Builds nothing: `make demo` builds first.
set -euo pipefail
if [ "${1:-}" = --list-screenshots ]; then
  sed -n 's/^screenshot \(.*\)$/\1/p' "$(dirname "$(realpath "$0")")/demo-tour.steps"
  exit 0
fi
build=$(realpath -m "${1:-build}")
here=$(dirname "$(realpath "$0")")
bin=$build/win32/bin
for f in TokenUtility.exe zelt-token.exe ZeltP11.dll ZeltCsp.dll ZeltUtilImportCert.dll ZeltUtilUserPage.dll; do
  [ -f "$bin/$f" ] || { echo "demo: $bin/$f is missing; run make build first" >&2; exit 1; }
done
demo=$build/demo
mkdir -p "$demo"
bash "$here/make-demo-certs.sh" "$demo/certs"

( unset DISPLAY; "$here/with-xvfb.sh" "$demo/wineprefix" bash "$here/demo-token.sh" "$build" tour )
if [ -n "${DISPLAY:-}" ] && [ -z "${ZELT_DEMO_HEADLESS:-}" ]; then
  echo "demo: opening the Token Utility on $DISPLAY" >&2
  ZELT_USE_DISPLAY=1 "$here/with-xvfb.sh" "$demo/wineprefix" bash "$here/demo-token.sh" "$build" window
fi
