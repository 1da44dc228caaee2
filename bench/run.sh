#!/usr/bin/env bash
# Builds the benchmark programs in build-bench (Release) and prints every figure.
# Nothing here passes or fails on a time; a non-zero exit means a run did not finish.
#   bench/run.sh            the full set: download matrix, 256 MiB peak memory,
#                           pass-through beside socat (lab chain and same hops), 256 MiB
#                           pass-through floods with peak memory and bytes lost, a 20-panel
#                           roll-out with vantelo-cli against one panel (about 20 minutes)
#   bench/run.sh --smoke    a few seconds each
# BENCH_BUILD_DIR chooses the build dir (default build-bench, configured for Release).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
smoke=${1:-}

if [ -f "$build/CMakeCache.txt" ]; then
  # An existing build dir (e.g. CI's plain build): only the benchmarks are added.
  cmake -S "$root" -B "$build" -DVANTELO_BUILD_BENCH=ON >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVANTELO_BUILD_BENCH=ON -DVANTELO_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"${BENCH_BUILD_JOBS:-2}" --target vantelo-bench-download vantelo-bench-passthrough vantelo-bench-fleet

bin=$build/bin
export LD_LIBRARY_PATH=$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
if [ "$smoke" = --smoke ]; then
  "$bin/vantelo-bench-download" --smoke
  "$bin/vantelo-bench-download" --memory 8
  "$bin/vantelo-bench-passthrough" --smoke
  "$bin/vantelo-bench-fleet" --smoke
else
  "$bin/vantelo-bench-download"
  echo
  "$bin/vantelo-bench-download" --memory 256
  echo
  "$bin/vantelo-bench-passthrough"
  echo
  "$bin/vantelo-bench-fleet"
fi
