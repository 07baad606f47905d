#!/usr/bin/env bash
# Builds the benchmark programs, runs them (one thread everywhere) and
# writes bench/RESULTS.md and bench/timing.svg.  Takes about 10 minutes.
# Extra arguments go to both benchmark programs (e.g. --benchmark_filter=qr/).
set -euo pipefail
cd "$(dirname "$0")/.."
# Benchmark-only packages beside the usual ones: Google Benchmark, OpenBLAS
# beside reference LAPACK, the Fortran runtime for the static LAPACK and
# MINPACK archives, Ceres Solver and GSL as further solver peers.
scripts/deps.sh libbenchmark-dev libopenblas-dev liblapack-dev libblas-dev gfortran python3 libceres-dev libgsl-dev
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2
out=build/bench/results
mkdir -p "$out"
export OPENBLAS_NUM_THREADS=1
# Five repetitions of everything, run in random order so that a slow spell
# of the shared machine falls on all contenders alike; the report takes
# their medians.
reps=(--benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
      --benchmark_report_aggregates_only=true)
build/bench/bench/zolbench "${reps[@]}" --benchmark_out="$out/ref.json" --benchmark_out_format=json "$@"
build/bench/bench/zolbench_openblas "${reps[@]}" --benchmark_out="$out/openblas.json" \
  --benchmark_out_format=json "$@"
python3 bench/report.py "$out/ref.json" "$out/openblas.json" bench/RESULTS.md bench/timing.svg
echo "wrote bench/RESULTS.md and bench/timing.svg"
