#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Set-up for the Node.js binding's build and tests: installs node-addon-api
# and node-gyp from the npm registry with `npm ci`, exactly as
# package-lock.json pins them. Runs npm only when node_modules is missing or
# was installed from another lock file, so it is safe to run again. Lifecycle
# scripts are skipped: the addon itself is built by the tests (or
# `npm run build`), offline, once the library exists.
# Without Node.js and npm it says so and does nothing; the tests are then
# not registered.
set -euo pipefail
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "node-setup: no node or npm on PATH; the Node.js binding is not built or tested"
  exit 0
fi

stamp="$pkg/node_modules/.lyrn-lock.sha256"
want=$(sha256sum "$pkg/package-lock.json" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
   [ -f "$pkg/node_modules/node-addon-api/package.json" ] &&
   [ -f "$pkg/node_modules/node-gyp/bin/node-gyp.js" ]; then
  echo "node-setup: node_modules is up to date"
  exit 0
fi

echo "node-setup: installing node-addon-api and node-gyp (npm ci)"
(cd "$pkg" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
echo "$want" >"$stamp"
