#!/usr/bin/env bash
# Renders the reference documentation of include/zolmath.h with Doxygen into
# build/docs/html (open build/docs/html/index.html); fails on any warning.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh doxygen
rm -rf build/docs
mkdir -p build/docs
doxygen docs/Doxyfile
if [ -s build/docs/warnings.log ]; then
  echo "Doxygen warnings:"; cat build/docs/warnings.log; exit 1
fi
echo "reference documentation in build/docs/html/index.html"
