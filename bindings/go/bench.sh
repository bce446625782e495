#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Go benchmark on the C benchmark's generated feeds (bench/feed_gen.cpp,
# same seed): the package against encoding/xml, MB/s of feed bytes and the
# ratio, best of COUNT runs each.
# Usage: bench.sh [BUILD_DIR]   (default: the source tree's build folder,
#        which needs the library built; `make run` does that)
# Environment: COUNT (default 3), BENCHTIME (default 1s).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

c++ -std=c++17 -O2 -o "$tmp/feed_gen" "$src/bench/feed_gen_main.cpp" "$src/bench/feed_gen.cpp"
mkdir "$tmp/feeds"
"$tmp/feed_gen" rich 100000 "$tmp/feeds/rich-100KB.xml" >/dev/null
"$tmp/feed_gen" rich 1000000 "$tmp/feeds/rich-1MB.xml" >/dev/null
"$tmp/feed_gen" rich 10000000 "$tmp/feeds/rich-10MB.xml" >/dev/null
"$tmp/feed_gen" minimal 10000 "$tmp/feeds/minimal-10k.xml" >/dev/null

export PKG_CONFIG_PATH="$build${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
export GOPROXY=off GOTOOLCHAIN=local GOFLAGS=-mod=readonly
export GOCACHE=${GOCACHE:-$build/bindings/go/cache} LYRN_BENCH_FEEDS=$tmp/feeds
cd "$here"
go version
go test -run '^$' -bench . -benchtime "${BENCHTIME:-1s}" -count "${COUNT:-3}" . | tee "$tmp/out.txt"

# BenchmarkConvert/FEED/PEER-N  iterations  ns/op  MB/s
echo
awk '$1 ~ /^BenchmarkConvert\// {
       split($1, p, "/"); feed = p[2]; peer = p[3]; sub(/-[0-9]+$/, "", peer)
       for (i = 2; i <= NF; i++) if ($(i + 1) == "MB/s") mbs = $i
       if (mbs > best[feed, peer]) best[feed, peer] = mbs
       feeds[feed] = 1
     }
     END {
       printf "%-14s %12s %16s %8s\n", "feed", "lyrn MB/s", "encoding/xml MB/s", "ratio"
       for (f in feeds)
         printf "%-14s %12.1f %16.1f %7.1fx\n", f, best[f, "lyrn"], best[f, "encoding-xml"],
                best[f, "lyrn"] / best[f, "encoding-xml"]
     }' "$tmp/out.txt" | sort
