#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: abi-check.sh [--update]
# Builds the shared library with debug information in build-abi/, describes
# its ABI with abidw (the exported functions and every type they reach) and
# compares that with the checked-in description abi/lyrn.abi using abidiff.
# Any difference fails: a changed parameter or return type, a changed type
# behind a pointer, an added or removed export, a new SONAME.
# --update writes the description of the library just built over
# abi/lyrn.abi instead; do that on purpose only, when the interface is meant
# to change (and the SONAME's major number with it, unless the change only
# adds), and commit the new file with the change that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${ABI_BUILD:-build-abi}
baseline=abi/lyrn.abi
update=0
case "${1:-}" in
  "") ;;
  --update) update=1 ;;
  *) echo "usage: abi-check.sh [--update]" >&2; exit 2 ;;
esac
for tool in abidw abidiff; do
  command -v "$tool" >/dev/null || { echo "abi-check: $tool is missing (Debian: abigail-tools)" >&2; exit 1; }
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF \
  -DLYRN_BUILD_TOOLS=OFF -DLYRN_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target quorvane-velotune-feed-rss-parser >/dev/null
lib=$(find "$build" -maxdepth 1 -name 'libquorvane-velotune-feed-rss-parser.so.*.*' -type f | head -n 1)
[ -n "$lib" ] || { echo "abi-check: no shared library in $build" >&2; exit 1; }

# Only what the public header declares is described; build paths, source
# locations and DT_NEEDED entries are left out so the file does not change
# with the checkout's folder or the C library's version.
current=$(mktemp)
trap 'rm -f "$current"' EXIT
# The licence line goes inside the root element: abidiff tells the file's
# kind by the element it starts with.
abidw --header-file include/lyrn.h --drop-private-types --no-corpus-path --no-comp-dir-path \
  --no-show-locs --no-elf-needed --type-id-style hash "$lib" |
  sed -e "s|path='$root/|path='|" \
      -e '1a\  <!-- SPDX-License-Identifier: MIT -->\n  <!-- Written by scripts/abi-check.sh when asked to update it; not edited by hand. -->' >"$current"

if [ "$update" = 1 ]; then
  cp "$current" "$baseline"
  chmod 644 "$baseline"
  echo "abi-check: wrote $baseline from $(basename "$lib")"
  exit 0
fi
[ -f "$baseline" ] || { echo "abi-check: $baseline is missing; create it with: bash scripts/abi-check.sh --update" >&2; exit 1; }
if abidiff "$baseline" "$current"; then
  echo "abi-check: $(basename "$lib") has the ABI of $baseline"
else
  echo "abi-check: the ABI differs from $baseline (see above). If the change is meant, run" >&2
  echo "  bash scripts/abi-check.sh --update   and commit $baseline with the change." >&2
  exit 1
fi
