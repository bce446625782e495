#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: check_exports.sh LIBRARY EXPECTED_LIST HEADER
# Fails when the library's defined dynamic symbols differ from the list, or
# when its SONAME does not carry the header's major version.
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
echo "exports: $(printf '%s\n' "$actual" | wc -l) names as listed; SONAME $soname"
