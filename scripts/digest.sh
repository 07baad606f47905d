#!/usr/bin/env bash
# Determinism check: builds the library and the digest program
# (tests/digest) with several compilers and optimisation levels, runs each,
# and fails when the digests differ from one another or from the value of
# record in tests/digest/expected.txt.
#
#   scripts/digest.sh          g++ -O2 and clang -O2 (the ci-gcc and ci-clang
#                              builds, which are -O2, when their directories
#                              exist; otherwise builds of its own)
#   scripts/digest.sh --all    also -O0, -O3 and -O3 -march=native with both
#
# Build directories: build/digest-<compiler>-<flags>.  DIGEST_JOBS sets the
# parallel build jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

expected=tests/digest/expected.txt
jobs=${DIGEST_JOBS:-2}
all=0
case "${1:-}" in
  "") ;;
  --all) all=1 ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

variants=()
[ -f build/ci-gcc/CMakeCache.txt ] || variants+=("gcc|-O2")
[ -f build/ci-clang/CMakeCache.txt ] || variants+=("clang|-O2")
if [ "$all" = 1 ]; then
  variants+=("gcc|-O0" "clang|-O0" "gcc|-O3" "clang|-O3" "gcc|-O3 -march=native" "clang|-O3 -march=native")
fi

names=()
digests=()

# Each build runs under every kernel path this processor has: the default
# choice (the 4-wide kernels where there is AVX2) and the baseline kernels.
run_digest() {  # name build-dir
  local out kernels
  for kernels in default baseline; do
    out=$(ZOLMATH_KERNELS=$kernels "$2/tests/digest/digest" --exports tests/exports.txt)
    names+=("$1 ($kernels)")
    digests+=("${out#digest }")
  done
}

for v in "${variants[@]}"; do
  compiler=${v%%|*}
  flags=${v#*|}
  if [ "$compiler" = gcc ]; then cc=gcc cxx=g++; else cc=clang cxx=clang++; fi
  dir="build/digest-$compiler$(echo "$flags" | tr -d ' =')"
  echo "=== $compiler $flags ($dir)" >&2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_C_FLAGS_RELEASE="$flags -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="$flags -DNDEBUG" \
    -DZOLMATH_WERROR=ON -DZOLMATH_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$dir" --target digest -j "$jobs" >/dev/null
  run_digest "$compiler $flags" "$dir"
done

for preset in ci-gcc ci-clang; do
  if [ -f "build/$preset/CMakeCache.txt" ]; then
    echo "=== preset $preset" >&2
    cmake --build "build/$preset" --target digest -j "$jobs" >/dev/null
    run_digest "preset $preset" "build/$preset"
  fi
done

want=$(awk '!/^[[:space:]]*#/ && NF {print $1; exit}' "$expected")
fail=0
printf '%-40s %s\n' "recorded ($expected)" "$want"
for i in "${!names[@]}"; do
  mark=""
  if [ "${digests[$i]}" != "$want" ]; then mark="  <-- differs"; fail=1; fi
  printf '%-40s %s%s\n' "${names[$i]}" "${digests[$i]}" "$mark"
done
if [ "$fail" != 0 ]; then
  echo "digest: builds disagree, or differ from the recorded value." >&2
  echo "Locate the routine with: <build>/tests/digest/digest --verbose" >&2
  exit 1
fi
echo "digest: all builds agree"
