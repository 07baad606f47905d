#!/usr/bin/env bash
# Builds the library and the test suite with g++ and with clang (warnings
# as errors) and runs every test under both; compares the determinism digest
# of the builds; runs the suite under the sanitizers and a short run of every
# fuzz target; then builds the out-of-tree consumers against an installed
# tree, renders the reference documentation, and cross-builds the Windows
# DLLs (export check, tests under wine).
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
for step in digest sanitize fuzz consumers docs mingw; do
  echo "=== $step"
  scripts/$step.sh
done
