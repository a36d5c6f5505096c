#!/usr/bin/env bash
# Creates a private 32-bit Wine prefix on first use: wine-prefix.sh <prefix dir>
# Booting a prefix takes minutes where i386 code runs emulated, so it is booted
# once per machine and Wine version into a template (under one lock, however
# many builds ask at once) and every prefix starts as a copy of it. Booting
# needs DISPLAY: without one, Wine's desktop process spins.
set -eu
prefix=$(realpath -m "$1")
[ -f "$prefix/.zelt-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zelt-ready" ] && exit 0
rm -rf "$prefix" "$prefix.tmp"

export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

boot() {  # boot <dir>
  : "${DISPLAY:?wine-prefix: DISPLAY must be set (run under scripts/with-xvfb.sh)}"
  echo "wine-prefix: booting a Wine prefix in $1 (takes minutes when i386 code runs emulated)" >&2
  rm -rf "$1"
  WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$1" wineserver -w
  touch "$1/.zelt-ready"
}

cache=${ZELT_PREFIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelt}
template="$cache/wineprefix-win32-$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_')"
if mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ]; then
  if [ ! -f "$template/.zelt-ready" ]; then
    exec 8>"$template.lock"
    flock 8
    if [ ! -f "$template/.zelt-ready" ]; then
      boot "$template.tmp"
      rm -rf "$template"
      mv "$template.tmp" "$template"
    fi
    flock -u 8
  fi
  cp -a "$template" "$prefix.tmp"
  mv "$prefix.tmp" "$prefix"
else
  boot "$prefix"
fi
