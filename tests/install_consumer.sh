#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: install_consumer.sh BUILD_DIR CONSUMER_SRC CMAKE CC
# Installs the built library into a temporary prefix, then builds and runs a
# C consumer against it through pkg-config and through find_package.
set -euo pipefail
build=$1 src=$2 cmake=$3 cc=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
pcdir=$(dirname "$(find "$tmp/prefix" -name 'quorvane-velotune-feed-rss-parser.pc' | head -n1)")
libdir=$(dirname "$pcdir")

# pkg-config
flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs quorvane-velotune-feed-rss-parser)
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Werror -o "$tmp/consumer-pc" "$src/consumer.c" $flags
LD_LIBRARY_PATH=$libdir "$tmp/consumer-pc" >/dev/null
echo "pkg-config consumer: ok"

# find_package
"$cmake" -S "$src" -B "$tmp/cm" -DCMAKE_PREFIX_PATH="$tmp/prefix" -DCMAKE_C_COMPILER="$cc" >/dev/null
"$cmake" --build "$tmp/cm" >/dev/null
"$tmp/cm/consumer" >/dev/null
echo "find_package consumer: ok"
