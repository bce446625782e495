#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Set-up for the Node.js binding: `npm ci` in the package folder, which
# installs node-addon-api and node-gyp exactly as package-lock.json pins them.
# `setup.sh bench` does the same for the benchmark's JavaScript parsers in
# bench/. npm runs only when node_modules is missing or was installed from
# another lock file, so this is safe to run again. Lifecycle scripts are
# skipped: the addon is built later (by the tests or `npm run build`),
# offline, once the library exists.
# Without Node.js and npm it says so and does nothing; CMake then registers
# no Node.js test.
set -euo pipefail
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$pkg
case "${1:-}" in
  "") ;;
  bench) dir=$pkg/bench ;;
  *) echo "usage: setup.sh [bench]" >&2; exit 2 ;;
esac

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "node-setup: no node or npm on PATH; the Node.js binding is not built or tested"
  exit 0
fi

stamp="$dir/node_modules/.lyrn-lock.sha256"
want=$(sha256sum "$dir/package-lock.json" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "node-setup: $dir/node_modules is up to date"
  exit 0
fi

echo "node-setup: npm ci in $dir"
(cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
echo "$want" >"$stamp"
