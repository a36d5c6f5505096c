#!/usr/bin/env bash
# Runs the native tests, then the Wine test suites:
#   run-tests.sh <build dir> [suite regex]
# ZELT_WINE_TESTS=0 skips the Wine suites (the native ones still run).
set -u
build=$(realpath -m "$1"); suite=${2:-}
here=$(dirname "$(realpath "$0")")
filter=()
[ -n "$suite" ] && filter=(-R "^(native_)?(${suite})\$")
rc=0
ctest --test-dir "$build/native" --output-on-failure --no-tests=ignore -j 2 "${filter[@]}" || rc=1
if [ "${ZELT_WINE_TESTS:-1}" != 0 ]; then
  # One suite at a time: they share a display and a desktop, and Wine lets one process hold the
  # foreground and clears the active and focus windows of the others (Windows keeps them per
  # thread), so dialogs owned by "the active window" would lose their owner. They also share the
  # current user's "MY" store, where two processes changing the same certificate undo each other.
  "$here/with-xvfb.sh" "$build/win32/wineprefix" \
    ctest --test-dir "$build/win32" --output-on-failure --no-tests=ignore -j 1 -LE parallel "${filter[@]}" || rc=1
  # Shards of a long suite: each brings its own display and prefix, so they run side by side.
  [ -n "$suite" ] && filter=(-R "^(${suite})(_[0-9]+)?\$")
  ctest --test-dir "$build/win32" --output-on-failure --no-tests=ignore -j "${ZELT_SHARD_JOBS:-3}" -L parallel \
    "${filter[@]}" || rc=1
fi
exit $rc
