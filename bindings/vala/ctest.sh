#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Vala binding's CTest entry: compiles lyrn_test.vala with
# `valac --pkg quorvane-velotune-feed-rss-parser` against the vapi and header
# in INCLUDE_DIR and the library in LIB_DIR, checks that the generated C
# releases the library's strings with lyrn_free, and runs the tests (under
# valgrind's leak check when it is installed). Exits 77 (skipped) when valac
# or GLib's development files are missing.
# Usage: ctest.sh OUT_DIR LIB_DIR INCLUDE_DIR TOOL
set -euo pipefail
out=$1 libdir=$2 incdir=$3 tool=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sample=$here/../../examples/sample-feed.xml

if ! command -v valac >/dev/null 2>&1 || ! pkg-config --exists glib-2.0 2>/dev/null; then
  echo "vala_binding: skipped, valac or GLib's development files are missing (Debian: apt-get install valac libglib2.0-dev, or run scripts/install-deps.sh test)"
  exit 77
fi
mkdir -p "$out"
valac --save-temps -d "$out" --vapidir "$incdir" --pkg quorvane-velotune-feed-rss-parser \
  -X "-I$incdir" -X "-L$libdir" -X -lquorvane-velotune-feed-rss-parser -X "-Wl,-rpath,$libdir" \
  -o "$out/lyrn_test" "$here/lyrn_test.vala"

# The owned results are released by the library's own function.
for var in doc cut url; do
  grep -q "_lyrn_free0 ($var)" "$out/lyrn_test.c" || {
    echo "vala_binding: the generated C does not release '$var' with lyrn_free" >&2
    exit 1
  }
done

"$tool" feed "$sample" --url https://feeds.example.com/music/demo/all/feed.xml >"$out/expected.json"
run=()
if command -v valgrind >/dev/null 2>&1; then
  run=(valgrind -q --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=9)
fi
LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "${run[@]}" "$out/lyrn_test" "$sample" "$out/expected.json"
