#!/usr/bin/env bash
# Runs every fuzz target of a native build for a while: run-fuzz.sh <native build dir> <seconds>
# Each target starts from its checked-in seeds (fuzz/corpus/<target>, only read)
# and keeps what it learns in <build>/fuzz/corpus/<target>. A finding is written
# to fuzz/artifacts/<target>-crash-...; copy it into fuzz/corpus/<target> once
# fixed so that every test run tries it again.
set -u
build=$(realpath -m "${1:?usage: run-fuzz.sh <native build dir> <seconds>}")
seconds=${2:-60}
root=$(realpath -m "$(dirname "$(realpath "$0")")/..")
artifacts=$root/fuzz/artifacts
mkdir -p "$artifacts"

targets=$(find "$build" -type f -perm -u+x -name 'fuzz_*' -not -path '*/CMakeFiles/*' | sort)
if [ -z "$targets" ]; then
  echo "run-fuzz: no fuzz targets under $build (a clang native build makes them)" >&2
  exit 1
fi

rc=0
for exe in $targets; do
  name=$(basename "$exe")
  seeds=$root/fuzz/corpus/$name
  work=$build/fuzz/corpus/$name
  mkdir -p "$work"
  log=$build/fuzz/$name.log
  echo "run-fuzz: $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/$name-" \
    "$work" "$seeds" >"$log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  if [ "$status" -ne 0 ]; then
    echo "run-fuzz: $name FOUND A PROBLEM (exit $status); log $log" >&2
    tail -n 40 "$log" >&2
    rc=1
  else
    echo "run-fuzz: $name ok: ${execs:-?} executions in ${seconds}s (${rate:-?}/s)"
  fi
done
exit $rc
