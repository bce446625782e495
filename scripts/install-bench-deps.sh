#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the benchmark's peer converters need when it is missing:
# pugixml, libxml2 and expat with their headers and pkg-config files.
# Safe to run again: when everything is there it says so in one line.
set -euo pipefail

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-bench-deps: this machine has no apt; install pugixml, libxml2 and expat" \
       "development files by hand" >&2
  exit 1
fi

need_pkgs=()
for p in libpugixml-dev libxml2-dev libexpat1-dev pkg-config time; do
  have_pkg "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -eq 0 ]; then
  echo "install-bench-deps: everything is installed"
  exit 0
fi

echo "install-bench-deps: installing ${need_pkgs[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
