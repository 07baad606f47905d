#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a bounded
# time, one after the other, starting from seeds the target writes itself
# (the inputs of the digest's first calls, build/fuzz/run/seeds/<target>);
# inputs found on the way go to build/fuzz/run/corpus/<target>, never into
# the repository.  Fails on any
# crash, sanitizer report, failed check, leak, per-input timeout or memory
# limit; the failing input is kept in build/fuzz/run/artifacts.
#   scripts/fuzz.sh [seconds per target]          (default 20)
#   FUZZ_TARGETS="fuzz_linear fuzz_solver" scripts/fuzz.sh   (a subset)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
seconds=${1:-20}
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

targets=${FUZZ_TARGETS:-fuzz_vector fuzz_matrix fuzz_geometry fuzz_linear fuzz_banded fuzz_solver fuzz_motion}
run=build/fuzz/run
summary=()
status=0
passed=0
failed=0
for t in $targets; do
  echo "=== $t (${seconds} s)"
  mkdir -p "$run/corpus/$t" "$run/seeds/$t" "$run/artifacts"
  ZOLMATH_FUZZ_SEEDS="$run/seeds/$t" "build/fuzz/fuzz/$t"
  log="$run/$t.log"
  rc=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$run/artifacts/$t-" \
    "$run/corpus/$t" "$run/seeds/$t" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if [ "$rc" -ne 0 ]; then
    status=1
    failed=$((failed + 1))
    tail -n 60 "$log"
    summary+=("$t: FAILED (exit $rc) after ${execs:-?} executions; log $log")
  else
    passed=$((passed + 1))
    summary+=("$t: ${execs:-?} executions, ${cov:-cov: ?}")
  fi
done
echo "=== fuzz summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
echo "fuzz: $passed passed, $failed failed"
exit "$status"
