#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: coverage.sh
# Builds the library, the tool and the tests with gcc's coverage
# instrumentation in build-cov/ (Debug, no optimisation), runs the suite
# without the host-project and binding tests (which exercise the library from
# other processes and languages, not the code paths counted here), and prints
# line and branch coverage per file of src/ and tools/ with gcovr. Branches
# that only a thrown exception would take are left out: the library is built
# without exceptions and the tool's are the standard library's own.
# The tests run on several threads, so the counters are updated atomically.
# LYRN_COVERAGE makes the tool write its counters before it ends a stopped
# batch with _exit, so the fault tests' signal paths are counted too.
# The hostile-input sizes are divided by 16 (LYRN_HOSTILE_SCALE): the same
# paths are taken in a fraction of the time.
# The HTML report lands in build-cov/coverage/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${COVERAGE_BUILD:-build-cov}
jobs=${JOBS:-2}
command -v gcovr >/dev/null || { echo "coverage: gcovr is missing (Debian: gcovr)" >&2; exit 1; }

CC=gcc CXX=g++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
  -DCMAKE_C_FLAGS="--coverage -O0 -fprofile-update=atomic" \
  -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic -DLYRN_COVERAGE" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
find "$build" -name '*.gcda' -delete
LYRN_HOSTILE_SCALE=${LYRN_HOSTILE_SCALE:-16} ctest --test-dir "$build" --output-on-failure -j"$jobs" -LE 'hosts|bindings'

filters=(--root . --filter 'src/' --filter 'tools/' --filter 'hosts/' --exclude-throw-branches --object-directory "$build"
         --exclude-directories '.*/CMakeFiles/[0-9.]+/.*')
mkdir -p "$build/coverage"
echo "coverage: lines per file"
gcovr "${filters[@]}" --print-summary
echo "coverage: branches per file"
gcovr "${filters[@]}" --branches
gcovr "${filters[@]}" --html-details "$build/coverage/index.html" >/dev/null
echo "coverage: report in $build/coverage/index.html"
