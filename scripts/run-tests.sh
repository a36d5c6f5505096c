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
  "$here/with-xvfb.sh" "$build/win32/wineprefix" \
    ctest --test-dir "$build/win32" --output-on-failure --no-tests=ignore -j 2 "${filter[@]}" || rc=1
fi
exit $rc
