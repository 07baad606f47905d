#!/usr/bin/env bash
# Builds the library and the test suite with g++ and with clang (warnings
# as errors) and runs every test under both; then the suite under the
# sanitizers and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
for preset in ci-gcc ci-clang; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
# The same digest of results from builds at other optimisation levels.
scripts/digest.sh
scripts/sanitize.sh
scripts/fuzz.sh
