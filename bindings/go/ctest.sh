#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Go package's CTest entry: `go test` with the race detector against the
# library build whose folder holds the build-tree pkg-config file, plus one
# pass of the benchmark on the sample feed so that it keeps working. Nothing
# is downloaded. The build cache is GOCACHE when set, else Go's own when its
# folder is writable (so that each build tree does not compile the race
# runtime again), else one in CACHE_DIR; GOPATH is in CACHE_DIR. Exits 77
# (skipped) when Go is not installed.
# Usage: ctest.sh CACHE_DIR PKGCONFIG_DIR TOOL
set -euo pipefail
cache=$1 pcdir=$2 tool=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if ! command -v go >/dev/null 2>&1; then
  echo "go_binding: skipped, Go is not installed (Debian: apt-get install golang-go, or run scripts/install-deps.sh test)"
  exit 77
fi
mkdir -p "$cache"
if [ -z "${GOCACHE:-}" ]; then
  GOCACHE=$(go env GOCACHE 2>/dev/null || true)
  if [ -z "$GOCACHE" ] || [ "$GOCACHE" = off ] || ! mkdir -p "$GOCACHE" 2>/dev/null || [ ! -w "$GOCACHE" ]; then
    GOCACHE=$cache/build
  fi
fi
export GOCACHE GOPROXY=off GOTOOLCHAIN=local GOFLAGS=-mod=readonly CGO_ENABLED=1
export GOPATH=$cache/path LYRN_TOOL=$tool
export PKG_CONFIG_PATH="$pcdir${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
# Go's build cache keys cgo packages on CGO_CFLAGS and CGO_LDFLAGS but not on
# what pkg-config prints, so the same flags go there too: a package or test
# binary built against another build tree's library is then never reused.
lib=quorvane-velotune-feed-rss-parser
cflags=$(pkg-config --cflags "$lib")
ldflags=$(pkg-config --libs "$lib")
export CGO_CFLAGS="${CGO_CFLAGS:--g -O2} $cflags" CGO_LDFLAGS="${CGO_LDFLAGS:--g -O2} $ldflags"
race=()
case "$(go env GOOS)/$(go env GOARCH)" in
  linux/amd64 | linux/arm64) race=(-race) ;;
esac
cd "$here"
go vet ./...
exec go test "${race[@]}" -count=1 -bench . -benchtime 1x ./...
