#!/usr/bin/env bash
# Runs a command with a private Xvfb display and a persistent wineserver for
# the given prefix (created on first use), and stops both afterwards:
#   with-xvfb.sh <prefix> <command...>
set -u
prefix=$(realpath -m "$1"); shift
here=$(dirname "$(realpath "$0")")
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

xvfb_pid=
cleanup() {
  # A leftover Wine process would keep the output open and hang the caller.
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${ZELT_USE_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
  num=$(head -n1 "$fdfile"); rm -f "$fdfile"
  if [ -z "$num" ]; then echo "with-xvfb: Xvfb did not start" >&2; exit 1; fi
  export DISPLAY=":$num"
fi
"$here/wine-prefix.sh" "$prefix" || exit 1
wineserver -p 2>/dev/null
# The first Wine process starts the prefix's services, and the first window the
# desktop process; both live as long as the server and would keep that process's
# output open, so a test that ended would look running. Start them here, away
# from the caller's pipes (the desktop first, so it is up by the time the
# services have started and the caller runs).
wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
wine cmd.exe /c exit </dev/null >/dev/null 2>&1
"$@"
