#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, runs each for FUZZ_SECONDS
# (default 60) on a corpus kept in build-fuzz/corpus (seeded from the test
# fixtures, the sample feed and fuzz/seeds), prints per target the executions,
# the corpus size and the findings, and exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}
targets=(fuzz_feed fuzz_slugs fuzz_text fuzz_feed_diff)

# clang and its fuzzer runtime, from the distribution when missing.
fuzzer_runtime_ok() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' >"$probe/p.cpp"
  if clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
    rm -rf "$probe"
    return 0
  fi
  rm -rf "$probe"
  return 1
}
if ! fuzzer_runtime_ok; then
  echo "fuzz: installing clang and its sanitizer runtimes"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-dev >/dev/null
  fuzzer_runtime_ok || { echo "fuzz: clang cannot link -fsanitize=fuzzer here" >&2; exit 1; }
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLYRN_SANITIZE=address,undefined -DLYRN_FUZZ=ON -DBUILD_TESTING=OFF \
  $([ "${CI:-}" = true ] && echo -DLYRN_WERROR=ON) >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$jobs" >/dev/null

# Seeds for each family: the fixtures and the sample feed go to the feed targets.
seed_dirs() {
  case "$1" in
    fuzz_feed | fuzz_feed_diff) echo "$root/fuzz/seeds/feed $root/tests/fixtures $root/examples" ;;
    fuzz_slugs) echo "$root/fuzz/seeds/slugs" ;;
    fuzz_text) echo "$root/fuzz/seeds/text" ;;
  esac
}
seed_pattern() {
  case "$1" in
    fuzz_feed | fuzz_feed_diff) echo '*.xml' ;;
    *) echo '*' ;;
  esac
}
dict_for() {
  case "$1" in
    fuzz_feed | fuzz_feed_diff) echo "$root/fuzz/feed.dict" ;;
    fuzz_slugs) echo "$root/fuzz/slugs.dict" ;;
    fuzz_text) echo "$root/fuzz/text.dict" ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  for d in $(seed_dirs "$t"); do
    [ -d "$d" ] || continue
    find "$d" -maxdepth 1 -type f -name "$(seed_pattern "$t")" -exec cp -n {} "$corpus/" \;
  done
  before=$(find "$findings" -type f | wc -l)
  set +e
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict="$(dict_for "$t")" -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s / 1024 }')
  new=$(( $(find "$findings" -type f | wc -l) - before ))
  echo "$t: ${execs:-?} executions in ${seconds} s, corpus $files files (${bytes} KiB), findings $new, exit $rc"
  if [ "$rc" -ne 0 ] || [ "$new" -gt 0 ]; then
    status=1
    echo "$t: see $log" >&2
    grep -m5 -E 'ERROR|invariant failed|runtime error|SUMMARY' "$log" >&2 || true
    find "$findings" -type f -newer "$corpus" 2>/dev/null | sed 's/^/  finding: /' >&2 || true
  fi
done
exit $status
