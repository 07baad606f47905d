#!/usr/bin/env bash
# Builds the library and runs its demonstration: a nonlinear curve fit on
# certified reference data and a rigid alignment of measured points, with a
# plot of both written to build/release/demo.svg (open it in a browser).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target demo
./build/release/examples/demo --svg=build/release/demo.svg
echo "open build/release/demo.svg to see the plot"
