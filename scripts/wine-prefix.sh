#!/usr/bin/env bash
# Creates a private 32-bit Wine prefix on first use: wine-prefix.sh <prefix dir>
# Needs DISPLAY (an Xvfb): without one, Wine's desktop process spins at boot.
set -eu
prefix=$(realpath -m "$1")
[ -f "$prefix/.zelt-ready" ] && exit 0
: "${DISPLAY:?wine-prefix: DISPLAY must be set (run under scripts/with-xvfb.sh)}"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zelt-ready" ] && exit 0
rm -rf "$prefix"
echo "wine-prefix: creating $prefix (takes minutes when i386 code runs emulated)" >&2
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$prefix/.zelt-ready"
