#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the addon offline in STAGE_DIR (a folder of a CMake build, so that
# build trees do not share one addon) against the library in LIB_DIR and the
# header in INCLUDE_DIR. The result is STAGE_DIR/build/Release/lyrn.node,
# which index.js loads when LYRN_ADDON names it.
# Usage: build-staged.sh STAGE_DIR LIB_DIR INCLUDE_DIR
set -euo pipefail
stage=$1 libdir=$2 incdir=$3
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ ! -f "$pkg/node_modules/node-addon-api/package.json" ] || [ ! -f "$pkg/node_modules/node-gyp/bin/node-gyp.js" ]; then
  echo "lyrn: $pkg/node_modules is missing; run bash bindings/node/scripts/setup.sh" >&2
  exit 1
fi

# node-gyp reads binding.gyp, src/ and scripts/ from the folder it runs in,
# and the hosts' shared preparation from hosts/ beside them.
mkdir -p "$stage"
rm -rf "$stage/src" "$stage/scripts" "$stage/hosts"
cp -R "$pkg/binding.gyp" "$pkg/package.json" "$pkg/src" "$pkg/scripts" "$stage/"
mkdir "$stage/hosts"
cp "$pkg/../../hosts/prepare.cpp" "$pkg/../../hosts/prepare.hpp" "$pkg/../../src/ascii.hpp" "$stage/hosts/"
ln -sfn "$pkg/node_modules" "$stage/node_modules"

# Nothing may be fetched here.
export npm_config_offline=true
cd "$stage"
LYRN_LIB_DIR="$libdir" LYRN_INCLUDE_DIR="$incdir" node scripts/build.js --loglevel=warn
