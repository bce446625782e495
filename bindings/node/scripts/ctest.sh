#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Node.js binding's CTest entry: builds the addon offline against the
# given library build, in a folder of the CMake build (so build trees do not
# share one addon), then runs `node --test` on it.
# Usage: ctest.sh STAGE_DIR LIB_DIR INCLUDE_DIR TOOL
set -euo pipefail
stage=$1 libdir=$2 incdir=$3 tool=$4
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ ! -f "$pkg/node_modules/node-addon-api/package.json" ] || [ ! -f "$pkg/node_modules/node-gyp/bin/node-gyp.js" ]; then
  echo "node_addon: $pkg/node_modules is missing; run bash bindings/node/scripts/setup.sh (make test runs it)" >&2
  exit 1
fi

# The build reads binding.gyp, src/ and scripts/ from the folder it runs in.
rm -rf "$stage/src" "$stage/scripts"
mkdir -p "$stage"
cp -R "$pkg/binding.gyp" "$pkg/package.json" "$pkg/src" "$pkg/scripts" "$stage/"
ln -sfn "$pkg/node_modules" "$stage/node_modules"

# No network: npm and node-gyp must not fetch anything here.
export npm_config_offline=true
(cd "$stage" && LYRN_LIB_DIR="$libdir" LYRN_INCLUDE_DIR="$incdir" node scripts/build.js --loglevel=warn)

# The addon's rpath names LIB_DIR; LD_LIBRARY_PATH says the same, ahead of
# any installed copy of the library.
export LYRN_ADDON="$stage/build/Release/lyrn.node" LYRN_TOOL="$tool"
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$pkg"
exec node --test test/
