#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: host_projects.sh SOURCE_DIR BUILD_DIR CMAKE CC CXX
# Takes the library into small host projects in a temporary folder the ways
# hosts do: add_subdirectory, FetchContent from a git clone of the tree (with
# and without FIND_PACKAGE_ARGS), find_package after a shared and after a
# static install, and pkg-config for a shared and a static link. Each host
# runs a conversion. A subproject must leave the host's build type empty and
# build no tool, test or example for it.
set -euo pipefail
src=$1 build=$2 cmake=$3 cc=$4 cxx=$5
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
host=$src/tests/consumer
lib=quorvane-velotune-feed-rss-parser
compilers=(-DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx")

fail() { echo "host_projects: $*" >&2; exit 1; }

# Configures and builds the host project in $1 with the remaining arguments,
# then runs both of its programs.
build_host() {
  local dir=$1
  shift
  "$cmake" -S "$host" -B "$dir" "${compilers[@]}" "$@" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "configure failed: $*"; }
  "$cmake" --build "$dir" -j2 >>"$dir.log" 2>&1 || { cat "$dir.log"; fail "build failed: $*"; }
  "$dir/consumer" >/dev/null || fail "consumer failed: $*"
  "$dir/consumer_alias" >/dev/null || fail "consumer_alias failed: $*"
}

# A subproject keeps to itself: no build type or library kind put into the
# host's cache,
# no target of the tool, the example or the tests.
check_subproject() {
  local dir=$1
  grep -qx 'CMAKE_BUILD_TYPE:STRING=' "$dir/CMakeCache.txt" || fail "$dir: the host's build type changed"
  ! grep -q '^BUILD_SHARED_LIBS:' "$dir/CMakeCache.txt" || fail "$dir: BUILD_SHARED_LIBS landed in the host's cache"
  local extra
  extra=$("$cmake" --build "$dir" --target help | sed -n 's/^\.\.\. //p' |
    grep -Ex 'lyrn|lyrn_c_host|test_.*|c_header_test|alloc_torture|gtest.*' || true)
  [ -z "$extra" ] || fail "$dir: the host got targets it did not ask for: $extra"
}

# A git repository of the tree as it stands, uncommitted changes included.
repo=$tmp/repo
mkdir -p "$repo"
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$src" && git ls-files -co --exclude-standard -z |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$repo")
else
  cp -r "$src/." "$repo"
  rm -rf "$repo"/build "$repo"/build-*
fi
git -C "$repo" init -q
git -C "$repo" add -A
git -C "$repo" -c user.name=test -c user.email=test@example.invalid commit -qm tree
tag=$(git -C "$repo" rev-parse HEAD)

# Shared library: from the build under test. Static library: built here.
both=$tmp/prefix-both
static=$tmp/prefix-static
"$cmake" --install "$build" --prefix "$both" >/dev/null
"$cmake" -S "$src" -B "$tmp/static-build" "${compilers[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DLYRN_BUILD_TOOLS=OFF -DLYRN_BUILD_EXAMPLES=OFF \
  >"$tmp/static.log" 2>&1 || { cat "$tmp/static.log"; fail "static configure failed"; }
"$cmake" --build "$tmp/static-build" -j2 >>"$tmp/static.log" 2>&1 || { cat "$tmp/static.log"; fail "static build failed"; }
"$cmake" --install "$tmp/static-build" --prefix "$static" >/dev/null
"$cmake" --install "$tmp/static-build" --prefix "$both" >/dev/null
[ -n "$(find "$static" -name "lib$lib.a")" ] || fail "the static install has no lib$lib.a"

needs_shared() { readelf -d "$1" | grep -q "NEEDED.*lib$lib\.so"; }

build_host "$tmp/h-subdirectory" -DLYRN_HOW=subdirectory -DLYRN_SOURCE="$repo"
check_subproject "$tmp/h-subdirectory"
echo "add_subdirectory host: ok"

build_host "$tmp/h-fetch" -DLYRN_HOW=fetch -DLYRN_GIT="$repo" -DLYRN_GIT_TAG="$tag"
check_subproject "$tmp/h-fetch"
echo "FetchContent host: ok"

build_host "$tmp/h-fetch-find" -DLYRN_HOW=fetch_find -DLYRN_GIT="$repo" -DLYRN_GIT_TAG="$tag" \
  -DCMAKE_PREFIX_PATH="$both"
[ ! -d "$tmp/h-fetch-find/_deps/lyrn-src" ] || fail "FetchContent with FIND_PACKAGE_ARGS fetched the sources"
echo "FetchContent host with FIND_PACKAGE_ARGS: ok"

build_host "$tmp/h-shared" -DLYRN_HOW=package -DCMAKE_PREFIX_PATH="$both"
needs_shared "$tmp/h-shared/consumer" || fail "find_package did not pick the shared library"
echo "find_package host, shared: ok"

build_host "$tmp/h-static" -DLYRN_HOW=package -DCMAKE_PREFIX_PATH="$static"
! needs_shared "$tmp/h-static/consumer" || fail "the static host needs the shared library"
build_host "$tmp/h-static-both" -DLYRN_HOW=package -DCMAKE_PREFIX_PATH="$both" -DLYRN_USE_STATIC_LIBS=ON
! needs_shared "$tmp/h-static-both/consumer" || fail "LYRN_USE_STATIC_LIBS did not pick the static library"
echo "find_package host, static: ok"

# pkg-config, shared: the library is found at run time through LD_LIBRARY_PATH.
pc_shared=$(dirname "$(find "$both" -name "$lib.pc" | head -n1)")
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Werror -o "$tmp/pc-shared" "$host/consumer.c" \
  $(PKG_CONFIG_PATH=$pc_shared pkg-config --cflags --libs $lib)
LD_LIBRARY_PATH=$(dirname "$pc_shared") "$tmp/pc-shared" >/dev/null || fail "pkg-config shared host failed"
echo "pkg-config host, shared: ok"

# pkg-config, static: a C compiler links a C++ library through --static.
pc_static=$(dirname "$(find "$static" -name "$lib.pc" | head -n1)")
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Werror -o "$tmp/pc-static" "$host/consumer.c" \
  $(PKG_CONFIG_PATH=$pc_static pkg-config --static --cflags --libs $lib)
! needs_shared "$tmp/pc-static" || fail "the pkg-config static host needs the shared library"
"$tmp/pc-static" >/dev/null || fail "pkg-config static host failed"
echo "pkg-config host, static: ok"
