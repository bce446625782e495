#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak resident memory of the tool converting one large feed, against the
# least a host can do (bench/minimal_host.c: map the file, convert it once,
# write the document). Prints the figures and their ratios; judges nothing.
#
# Usage: bench/tool_memory.sh [BYTES [KIND]]
#   BYTES  the feed's size, default 1000000000 (1 GB)
#   KIND   rich (the default: description-heavy, a small document) or
#          minimal (title-and-enclosure items: a document near the feed's size)
# LYRN_TOOL=PATH measures another build of the tool (an older one, say);
# LYRN_TOOL_ARGS replaces the input-limit option given to it ("" for a tool
# that has none).
# Builds in build-bench (Release, as bench/run.sh does); the feed is written
# to a temporary folder and removed at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
bytes=${1:-1000000000}
kind=${2:-rich}

bash "$root/scripts/install-bench-deps.sh"
[ -x /usr/bin/time ] || { echo "tool_memory: GNU time (/usr/bin/time, Debian package time) is needed" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLYRN_BENCH=ON >/dev/null
cmake --build "$build" --target lyrn lyrn_feed_gen -j"${JOBS:-2}" >/dev/null
lib=$(dirname "$(find "$build" -maxdepth 1 -name 'libquorvane-velotune-feed-rss-parser.so*' -type f | head -1)")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -I"$root/include" "$root/bench/minimal_host.c" -L"$lib" -lquorvane-velotune-feed-rss-parser \
  -Wl,-rpath,"$lib" -o "$work/minimal_host"

case $kind in
  rich) "$build/bench/lyrn_feed_gen" rich "$bytes" "$work/feed.xml" >/dev/null ;;
  minimal) "$build/bench/lyrn_feed_gen" minimal $((bytes / 160)) "$work/feed.xml" >/dev/null ;;
  *) echo "tool_memory: KIND is rich or minimal" >&2; exit 2 ;;
esac
feed_mb=$(( $(stat -c %s "$work/feed.xml") / 1000000 ))

peak_kb() {  # peak_kb COMMAND...: the command's maximum resident set in KiB
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  cat "$work/rss"
}

tool=${LYRN_TOOL:-$build/tools/lyrn}
read -r -a limit <<<"${LYRN_TOOL_ARGS---max-input 4G}"
host=$(peak_kb "$work/minimal_host" "$work/feed.xml" "$work/host.json")
compact=$(peak_kb "$tool" feed "$work/feed.xml" ${limit[@]+"${limit[@]}"})
pretty=$(peak_kb "$tool" feed "$work/feed.xml" ${limit[@]+"${limit[@]}"} --pretty)
batch=$(peak_kb "$tool" feed "$work/feed.xml" ${limit[@]+"${limit[@]}"} -o "$work/out" --quiet)
[ -n "${LYRN_TOOL:-}" ] || "$tool" feed "$work/feed.xml" ${limit[@]+"${limit[@]}"} | cmp -s - "$work/host.json" ||
  { echo "tool_memory: the tool's document differs from the minimal host's" >&2; exit 1; }

printf 'feed: %d MB (%s), document: %d MB\n' "$feed_mb" "$kind" $(( $(stat -c %s "$work/host.json") / 1000000 ))
printf '%-34s %10s %8s\n' "peak resident memory" "MiB" "x host"
row() { awk -v n="$1" -v kb="$2" -v h="$host" 'BEGIN { printf "%-34s %10.1f %8.3f\n", n, kb / 1024, kb / h }'; }
row "minimal host (map, convert, write)" "$host"
row "lyrn feed FILE" "$compact"
row "lyrn feed FILE --pretty" "$pretty"
row "lyrn feed FILE -o DIR" "$batch"
