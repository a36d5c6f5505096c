#!/usr/bin/env bash
# Runs the benchmark host under Wine: bench.sh <build dir>
# The bench certificates are made once (openssl, from the test keys); the run uses a prefix and a
# display of its own, with every Wine process, the wineserver included, pinned to one CPU: with
# the server on the other CPU of a two-core machine every call is several times slower, at random.
# ZELT_BENCH_CPU picks the CPU (default: the last one); ZELT_BENCH_TRACES=<dir> keeps the traces;
# ZELT_BENCH_ONLY=<step> (activation, manage, register+convert, remove, import, growth) runs one
# step; ZELT_BENCH_LATENCY=<ms> (0, 2, 5) runs the rows of one latency; ZELT_BENCH_RUNS=<n> measures
# n runs per row instead of 7; ZELT_BENCH_PROFILE=1 prints under each row where the page's own time
# went (its calls to the system, its paint messages per window, and a timeline of the last run on
# 20 certificates at no latency). ZELT_BENCH_SERVER_LOG=<file> logs every wineserver request to
# <file>, marked by the profile (bench/server-requests.py <file> sums an interval's requests by
# what made them; the log's own requests make the times meaningless).
set -euo pipefail
build=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
root=$(dirname "$here")
bin=$build/win32/bin
certs=$build/bench/certs
keys=$root/tests/data/certs/keys
cpu=${ZELT_BENCH_CPU:-$(($(nproc) - 1))}

win() { printf 'Z:%s' "$(realpath -m "$1" | sed 's#/#\\#g')"; }

if [ ! -f "$certs/bench-50.der" ]; then
  mkdir -p "$certs"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  openssl x509 -inform DER -in "$root/tests/data/certs/ca.der" -out "$work/ca.pem"
  printf 'extendedKeyUsage = clientAuth, msSmartcardLogin\n' >"$work/ext.cnf"
  for i in $(seq -w 1 50); do
    openssl req -new -key "$keys/leaf.key.pem" -subj "/C=US/O=Example/CN=Bench User $i" -out "$work/req.pem"
    openssl x509 -req -in "$work/req.pem" -CA "$work/ca.pem" -CAkey "$keys/ca.key.pem" -set_serial "0xBE$i" \
      -days 3650 -sha256 -extfile "$work/ext.cnf" -outform DER -out "$certs/bench-$i.der" 2>/dev/null
  done
fi

traces=()
if [ -n "${ZELT_BENCH_TRACES:-}" ]; then
  mkdir -p "$ZELT_BENCH_TRACES"
  traces=("$(win "$ZELT_BENCH_TRACES")")
fi
echo "bench: pinned to CPU $cpu; load average $(cut -d' ' -f1-3 /proc/loadavg)"
prefix=$build/win32/benchprefix
if [ -n "${ZELT_BENCH_SERVER_LOG:-}" ] && [ -f "$prefix/.zelt-ready" ]; then
  # The prefix's server, started first so that with-xvfb.sh finds it running, with its request log.
  WINEPREFIX=$prefix taskset -c "$cpu" wineserver -f -p -d1 2>"$ZELT_BENCH_SERVER_LOG" &
  socket=/tmp/.wine-$(id -u)/server-$(printf '%x-%x' $(stat -L -c '%d %i' "$prefix"))/socket
  for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
elif [ -n "${ZELT_BENCH_SERVER_LOG:-}" ]; then
  echo "bench: no server log on the first run (the prefix is made by it); run again"
fi
export ZELT_BIN_DIR=$bin ZELT_TEST_TIMEOUT=${ZELT_BENCH_TIMEOUT:-3000}
rc=0
taskset -c "$cpu" "$here/with-xvfb.sh" "$prefix" \
  "$here/wine-test.sh" "$bin/zelt-bench.exe" "$(win "$certs")" "${traces[@]}" || rc=$?

# The DLL as shipped: the release build's stripped copy (the test build keeps its symbols).
shipped=$build/win32/release/ZeltUtilUserPage.dll
size=$(stat -c %s "$shipped" 2>/dev/null || echo 0)
limit=$((500 * 1024))
if [ "$size" -gt 0 ] && [ "$size" -le "$limit" ]; then verdict=ok; else verdict=FAIL; rc=1; fi
echo "shipped DLL: $verdict $shipped $size bytes (at most $limit; the build's own: $(stat -c %s "$bin/ZeltUtilUserPage.dll") bytes)"
exit $rc
