#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmark in build-bench (Release) and runs it once; the tables
# also come out as SVG charts in build-bench/charts.
# BENCH_QUICK=1 runs tiny feeds only, in seconds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}

bash "$root/scripts/install-bench-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLYRN_BENCH=ON >/dev/null
cmake --build "$build" --target lyrn_bench -j"${JOBS:-2}"
mkdir -p "$build/charts"
args=(--charts "$build/charts")
if [ -n "${BENCH_QUICK:-}" ] && [ "${BENCH_QUICK}" != 0 ]; then args+=(--quick); fi
exec "$build/bench/lyrn_bench" "${args[@]}"
