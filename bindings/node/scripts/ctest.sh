#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Node.js binding's CTest entry: builds the addon offline against the
# given library build, then runs `node --test` on it.
# Usage: ctest.sh STAGE_DIR LIB_DIR INCLUDE_DIR TOOL
set -euo pipefail
stage=$1 libdir=$2 incdir=$3 tool=$4
pkg=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$pkg/scripts/build-staged.sh" "$stage" "$libdir" "$incdir"

# The addon's rpath names LIB_DIR; LD_LIBRARY_PATH says the same, ahead of
# any installed copy of the library.
export LYRN_ADDON="$stage/build/Release/lyrn.node" LYRN_TOOL="$tool"
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$pkg"
exec node --test test/*.test.js
