#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Node.js benchmark: builds the library and the benchmark's feed
# generator (build-bench, Release), writes the generated feeds into a
# temporary folder, builds the addon against that library and converts the
# feeds with it and with the JavaScript parsers of bench/package.json.
# BENCH_QUICK=1 runs the small feeds only, in seconds; BENCH_NODE_MAX_MB
# (default 16) leaves out larger feeds, which the JavaScript parsers take
# minutes and gigabytes for.
set -euo pipefail
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root=$(cd "$pkg/../.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}

bash "$root/scripts/install-bench-deps.sh"
bash "$pkg/scripts/setup.sh"
bash "$pkg/scripts/setup.sh" bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLYRN_BENCH=ON >/dev/null
cmake --build "$build" --target quorvane-velotune-feed-rss-parser lyrn_bench -j"${JOBS:-2}"

quick=()
if [ -n "${BENCH_QUICK:-}" ] && [ "${BENCH_QUICK}" != 0 ]; then quick=(--quick); fi
feeds=$(mktemp -d)
trap 'rm -rf "$feeds"' EXIT
# The C benchmark's generator writes every feed with the library's document beside it.
"$build/bench/lyrn_bench" "${quick[@]}" --save "$feeds" >/dev/null

bash "$pkg/scripts/build-staged.sh" "$build/bindings/node" "$build" "$root/include" >/dev/null
export LYRN_ADDON="$build/bindings/node/build/Release/lyrn.node"
export LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
node "$pkg/bench/bench.js" "$feeds" "${quick[@]}" --max-mb "${BENCH_NODE_MAX_MB:-16}"
