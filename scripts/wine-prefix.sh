#!/usr/bin/env bash
# Creates a private 32-bit Wine prefix on first use: wine-prefix.sh <prefix dir>
# Booting a prefix takes a while (most where i386 code runs emulated), so it is booted
# once per machine and Wine version into a template (under one lock, however
# many builds ask at once) and every prefix starts as a copy of it. Booting
# needs DISPLAY: without one, Wine's desktop process spins.
set -u
prefix=$(realpath -m "$1")
[ -f "$prefix/.zelt-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")" || exit 1
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zelt-ready" ] && exit 0
rm -rf "$prefix" "$prefix.tmp"

export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A crashing test must end its process: winedbg cannot attach where i386 code
# runs emulated and would hang the run until its timeout. Wine falls back to
# winedbg when the value is missing, so it names a program that does not exist.
# Our Xvfb runs no window manager: Wine would wait 2 s at every hidden top-level
# window for a manager that never answers, so there the windows are unmanaged
# (not on a real display, ZELT_USE_DISPLAY, where a manager draws their frames).
settle() {  # settle <prefix dir>, while no server runs for it
  sed -i 's/^"Debugger"="winedbg[^"]*"/"Debugger"="no-debugger"/' "$1/system.reg"
  [ -n "${ZELT_USE_DISPLAY:-}" ] || grep -q '^\[Software\\\\Wine\\\\X11 Driver\]' "$1/user.reg" ||
    printf '\n[Software\\\\Wine\\\\X11 Driver] 1796531292\n"Managed"="N"\n' >>"$1/user.reg"
}

boot() {  # boot <dir>: true when the prefix is usable
  if [ -z "${DISPLAY:-}" ]; then
    echo "wine-prefix: DISPLAY must be set (run under scripts/with-xvfb.sh)" >&2
    return 1
  fi
  echo "wine-prefix: booting a Wine prefix in $1 (takes a minute or so when i386 code runs emulated)" >&2
  rm -rf "$1"
  # wineboot's exit status is not a verdict (it reports failures of optional
  # parts); the prefix is judged by what it contains once the server is idle.
  WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$1" wineserver -w
  if [ -f "$1/system.reg" ] && [ -f "$1/user.reg" ] && [ -e "$1/drive_c/windows/system32/regsvr32.exe" ]; then
    touch "$1/.zelt-ready"
    return 0
  fi
  echo "wine-prefix: booting $1 failed" >&2
  return 1
}

cache=${ZELT_PREFIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelt}
template="$cache/wineprefix-win32-$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_')"
if mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ]; then
  if [ ! -f "$template/.zelt-ready" ]; then
    exec 8>"$template.lock"
    flock 8
    if [ ! -f "$template/.zelt-ready" ]; then
      boot "$template.tmp" || exit 1
      rm -rf "$template"
      mv "$template.tmp" "$template" || exit 1
    fi
    flock -u 8
  fi
  cp -a "$template" "$prefix.tmp" && settle "$prefix.tmp" && mv "$prefix.tmp" "$prefix" || exit 1
else
  boot "$prefix" && settle "$prefix" || exit 1
fi
