#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Rust crate's CTest entry: `cargo test --offline` against the given
# library build, with its build products in TARGET_DIR. Exits 77 (skipped)
# when cargo is not installed.
# Usage: ctest.sh TARGET_DIR LIB_DIR TOOL
set -euo pipefail
target=$1 libdir=$2 tool=$3
crate=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if ! command -v cargo >/dev/null 2>&1 || ! command -v rustc >/dev/null 2>&1; then
  echo "rust_binding: skipped, cargo and rustc are not installed (Debian: apt-get install cargo, or run scripts/install-deps.sh test)"
  exit 77
fi
export CARGO_TARGET_DIR=$target LYRN_LIB_DIR=$libdir LYRN_TOOL=$tool
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$crate"
exec cargo test --offline --quiet
