#!/usr/bin/env bash
# Line and branch coverage of src/ through the Wine suites: coverage.sh <build dir> [suite regex]
# Builds the Windows tree with ZELT_COVERAGE=ON in <build dir>/win32, clears the counts of any
# earlier run, runs every Wine suite (scripts/run-tests.sh, so a suite runs as it does in
# `make test`), then prints the figures per folder of src/ and the lines no test reached.
# The report is also written to <build dir>/coverage.txt, the unreached lines to
# <build dir>/uncovered.txt. JOBS sets the build's parallelism; the run fails when a suite fails or
# when fewer than ZELT_COVERAGE_MIN percent (default 90) of the lines of src/ ran. With a suite
# regex only those suites run, and the figures are theirs alone (no minimum applies).
set -u
build=$(realpath -m "$1"); suite=${2:-}
here=$(dirname "$(realpath "$0")")
root=$(dirname "$here")
win="$build/win32"
start=$(date +%s)

if [ ! -f "$win/CMakeCache.txt" ]; then
  # Ninja as in `make build`; an existing folder keeps the generator it was made with.
  generator=(); command -v ninja >/dev/null && generator=(-G Ninja)
  cmake "${generator[@]}" -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT_COVERAGE=ON || exit 1
fi
cmake --build "$win" -j "${JOBS:-2}" || exit 1
built=$(date +%s)

objects="$win/src/CMakeFiles/zeltpage_obj.dir"
[ -n "$(find "$objects" -name '*.gcno' -print -quit 2>/dev/null)" ] ||
  { echo "coverage: no .gcno under $objects: is ZELT_COVERAGE on in $win?" >&2; exit 1; }
find "$objects" -name '*.gcda' -delete

# libgcov writes each count file at the path of its object, a Unix path. Naming the drive that
# maps the Unix root keeps the counts beside the objects whatever a process's current drive is.
export GCOV_PREFIX=Z: GCOV_PREFIX_STRIP=0
# The native suites belong to `make test`; here the Wine suites alone exercise the product.
mkdir -p "$build/native"
ZELT_WINE_TESTS=1 bash "$here/run-tests.sh" "$build" "$suite"
tests_rc=$?
ran=$(date +%s)
# libgcov reports a count file it could not read or write on the process's stderr.
grep -h 'profiling:' "$win"/Testing/Temporary/LastTest*.log 2>/dev/null | sort | uniq -c | head >&2

count=$(find "$objects" -name '*.gcda' | wc -l)
echo "coverage: $count count files written under $objects"
[ "$count" -gt 0 ] || { echo "coverage: no counts arrived from the Wine processes" >&2; exit 1; }

minimum=${ZELT_COVERAGE_MIN:-90}
[ -n "$suite" ] && minimum=0
python3 "$here/coverage-report.py" --gcov i686-w64-mingw32-gcov --objects "$objects" \
  --src "$root/src" --uncovered "$build/uncovered.txt" --min-lines "$minimum" | tee "$build/coverage.txt"
report_rc=${PIPESTATUS[0]}
end=$(date +%s)
echo "coverage: build $((built - start)) s, suites $((ran - built)) s, report $((end - ran)) s," \
  "total $((end - start)) s"
[ "$tests_rc" = 0 ] || echo "coverage: some suites failed (the counts include what they ran)" >&2
[ "$report_rc" = 0 ] && [ "$tests_rc" = 0 ]
