#!/bin/sh
# SPDX-License-Identifier: MIT
# Usage: check_pages.sh GROFF MANDOC PAGE...
# Formats each page with `groff -man -ww -z` and checks it with
# `mandoc -Tlint`; any message from either fails. An empty GROFF or MANDOC
# skips that formatter; with neither, exits 77 (skipped).
groff=$1 mandoc=$2
shift 2
if [ -z "$groff" ] && [ -z "$mandoc" ]; then
  echo "check_pages: neither groff nor mandoc is installed" >&2
  exit 77
fi
status=0
for page in "$@"; do
  if [ -n "$groff" ]; then
    out=$("$groff" -man -ww -z "$page" 2>&1) || status=1
    if [ -n "$out" ]; then printf '%s\n' "$out"; status=1; fi
  fi
  if [ -n "$mandoc" ]; then
    out=$("$mandoc" -Tlint "$page" 2>&1) || status=1
    if [ -n "$out" ]; then printf '%s\n' "$out"; status=1; fi
  fi
  [ "$status" = 0 ] && echo "check_pages: $page: clean"
done
exit $status
