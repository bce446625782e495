#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: check_exports.sh LIBRARY EXPECTED_LIST HEADER
# Fails when the library's defined dynamic symbols differ from the list, when
# its SONAME does not carry the header's major version, or when it holds a
# relocation to one of its own exports (an internal call through an exported
# name, which a host's symbol of the same name could take over).
set -euo pipefail
lib=$1 expected=$2 header=$3
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
if ! diff -u <(sort -u "$expected") <(printf '%s\n' "$actual"); then
  echo "exported symbols differ from $expected" >&2
  exit 1
fi
major=$(awk '$1=="#define" && $2=="LYRN_VERSION_MAJOR" {print $3}' "$header")
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\].*/\1/p')
if [ "$soname" != "libquorvane-velotune-feed-rss-parser.so.$major" ]; then
  echo "SONAME '$soname' does not match major version $major" >&2
  exit 1
fi
self_calls=$(readelf -rW "$lib" | awk '$5 ~ /^lyrn_/ {print $3, $5}')
if [ -n "$self_calls" ]; then
  printf 'relocations to exported names:\n%s\n' "$self_calls" >&2
  exit 1
fi
echo "exports: $(printf '%s\n' "$actual" | wc -l) names as listed; SONAME $soname; no relocation to an export"
