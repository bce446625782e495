#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: lint.sh
# Static analysis of the library (src/), the tool (tools/), the hosts'
# preparation (hosts/) and the Node.js addon (bindings/node/src/addon.cc):
# clang-tidy with the checks in .clang-tidy, then cppcheck. Fails on any finding of either. A finding that
# is wrong is silenced where it stands (NOLINT or cppcheck-suppress) with a
# comment saying why.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LINT_BUILD:-build-lint}
jobs=${JOBS:-2}
for tool in clang-tidy cppcheck; do
  command -v "$tool" >/dev/null || { echo "lint: $tool is missing (Debian: clang-tidy, cppcheck)" >&2; exit 1; }
done

# The compile commands of the library and the tool, as CMake configures them.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF \
  -DLYRN_BUILD_TOOLS=ON -DLYRN_BUILD_EXAMPLES=OFF >/dev/null

# The addon is built by node-gyp, outside CMake: its flags are given here.
# node_api.h comes with Debian's nodejs, napi.h with the node-addon-api
# package that the binding's set-up installs.
addon=bindings/node/src/addon.cc
napi_dir=""
if [ -d bindings/node/node_modules/node-addon-api ]; then
  napi_dir=bindings/node/node_modules/node-addon-api
elif command -v node >/dev/null && command -v npm >/dev/null; then
  bash bindings/node/scripts/setup.sh >/dev/null
  napi_dir=bindings/node/node_modules/node-addon-api
fi
node_inc=/usr/include/node
if [ -z "$napi_dir" ] || [ ! -f "$node_inc/node_api.h" ]; then
  echo "lint: node-addon-api or $node_inc/node_api.h is missing; run scripts/install-deps.sh lint" >&2
  exit 1
fi
addon_flags=(-std=c++17 -x c++ -isystem "$node_inc" -isystem "$napi_dir" -Iinclude -Ihosts -DNAPI_VERSION=8
             -DNAPI_CPP_EXCEPTIONS)

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# clang-tidy, JOBS files at a time; only the findings are shown.
tidy_sources=(src/*.cpp tools/*.cpp hosts/*.cpp)
if ! printf '%s\n' "${tidy_sources[@]}" |
     xargs -P "$jobs" -n 1 clang-tidy --quiet -p "$build" >"$log" 2>&1; then
  status=1
fi
if ! clang-tidy --quiet "$addon" -- "${addon_flags[@]}" >>"$log" 2>&1; then
  status=1
fi
grep -E '(error|warning|note):' "$log" | grep -v 'warnings generated' || true
tidy_findings=$(grep -cE '(^|: )(error|warning): ' "$log" || true)
echo "lint: clang-tidy: $tidy_findings findings"

# cppcheck: the warning, performance and portability classes (style is left
# out: its remarks are matters of taste, not faults). The library's own
# headers are read; system and node headers are not, so that their code is
# not judged here.
if ! cppcheck --std=c++17 --language=c++ --enable=warning,performance,portability --inline-suppr \
     --error-exitcode=1 --suppress=missingIncludeSystem --suppress=missingInclude --quiet \
     -I include -I src -I tools -I hosts -D__GNUC__ -D__linux__ -D__x86_64__ -DNAPI_VERSION=8 \
     src/*.cpp tools/*.cpp hosts/*.cpp "$addon"; then
  status=1
  echo "lint: cppcheck reported findings (above)"
else
  echo "lint: cppcheck: 0 findings"
fi
[ "$status" = 0 ] && echo "lint: clean"
exit "$status"
