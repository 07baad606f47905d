#!/usr/bin/env bash
# Builds the library and the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (preset asan: leak checks on, no recovery) and
# with ThreadSanitizer (preset tsan: the library and the test that runs every
# routine from several threads at once), and runs them.  The export check is
# left out: the sanitizer runtimes add symbols of their own to the library's
# dynamic symbol table.
#   scripts/sanitize.sh [asan|tsan ...]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(asan tsan)
for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
