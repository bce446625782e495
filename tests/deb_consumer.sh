#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: tests/deb_consumer.sh [DEB_DIR]
# Builds the Debian packages with `make deb` (or takes the ones already in
# DEB_DIR), unpacks them into a temporary root with dpkg -x (no system
# install), checks what they hold, and builds and runs a C host against the
# unpacked -dev package's header, library and pkg-config file; the static
# library and the CMake package are tried the same way when present, and a
# Vala host through the packaged vapi when valac is installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if [ $# -ge 1 ]; then
  debs=$(cd "$1" && pwd)
else
  make deb
  debs=$top/build-deb
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
for p in libquorvane-velotune-feed-rss-parser1 libquorvane-velotune-feed-rss-parser-dev lyrn; do
  deb=$(ls "$debs/${p}"_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || { echo "deb_consumer: no $p package in $debs" >&2; exit 1; }
  dpkg -x "$deb" "$root"
done
ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$root/usr/lib/$ma
name=quorvane-velotune-feed-rss-parser

fail() { echo "deb_consumer: $*" >&2; exit 1; }

# ---- What the packages hold --------------------------------------------------
for f in usr/include/lyrn.h "usr/share/vala/vapi/$name.vapi" "usr/lib/$ma/pkgconfig/$name.pc" "usr/lib/$ma/cmake/$name/$name-config.cmake" \
         usr/bin/lyrn usr/share/man/man1/lyrn.1.gz usr/share/man/man3/lyrn.3.gz; do
  [ -e "$root/$f" ] || fail "missing /$f"
done
[ -L "$libdir/lib$name.so.1" ] && [ -f "$(readlink -f "$libdir/lib$name.so.1")" ] ||
  fail "lib$name.so.1 is not a link to the library"
[ "$(readlink "$libdir/lib$name.so")" = "lib$name.so.1" ] || fail "lib$name.so does not point at the SONAME"
soname=$(readelf -d "$libdir/lib$name.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "lib$name.so.1" ] || fail "SONAME is '$soname'"
# Exactly the thirteen exports in the dynamic symbol table.
nm -D --defined-only "$libdir/lib$name.so.1" | awk '{print $3}' | sort >"$tmp/exports"
diff -u tests/exports.txt "$tmp/exports" || fail "the exported names differ from tests/exports.txt"
# The installed tool finds the library in the system directory: no RUNPATH.
if readelf -d "$root/usr/bin/lyrn" | grep -Eq 'RUNPATH|RPATH'; then
  fail "usr/bin/lyrn carries a RUNPATH: $(readelf -d "$root/usr/bin/lyrn" | grep -E 'RUNPATH|RPATH')"
fi
echo "deb_consumer: contents ok (SONAME $soname, 13 exports, no RUNPATH)"

# ---- A C host through the unpacked pkg-config file ---------------------------
# The .pc file finds its prefix from its own folder, so pointing
# PKG_CONFIG_PATH at the unpacked folder is enough: its paths lead into $root.
cat >"$tmp/host.c" <<'C'
#include <lyrn.h>
#include <stdio.h>
#include <string.h>

static const char feed[] =
    "<rss><channel><title>Night Radio</title>"
    "<item><title>O_Holy_Night [4hjgkvuKES8]</title><itunes:duration>3:44</itunes:duration>"
    "<enclosure url=\"https://cdn.example.com/a.mp3\" length=\"1234\"/></item>"
    "</channel></rss>";
static const char want[] =
    "{\"name\":\"Night Radio\",\"feedURL\":\"https://feeds.example.com/music/u/all/feed.xml\","
    "\"artworkURL\":null,\"trackCount\":1,\"totalDuration\":224.0,\"tracks\":[{\"title\":\"O Holy Night\","
    "\"artist\":\"\",\"duration\":224.0,\"streamURL\":\"https://cdn.example.com/a.mp3\",\"artworkURL\":null,"
    "\"publishTimestamp\":0,\"byteLength\":1234}]}";

int main(void) {
  char *json = lyrn_parse_feed_json(feed, 0, "https://feeds.example.com/music/u/all/feed.xml");
  int ok = json && strcmp(json, want) == 0;
  if (!ok) fprintf(stderr, "got:  %s\nwant: %s\n", json ? json : "(null)", want);
  lyrn_free(json);
  if (lyrn_selftest() != 0 || lyrn_abi_version() != LYRN_VERSION_MAJOR) ok = 0;
  printf("%s %s\n", lyrn_version(), ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
C
export PKG_CONFIG_PATH=$libdir/pkgconfig
cflags=$(pkg-config --cflags "$name")
libs=$(pkg-config --libs "$name")
case " $cflags " in *" -I$root/"*) ;; *) fail "pkg-config --cflags does not lead into the unpacked root: $cflags" ;; esac
case " $libs " in *" -L$root/"*) ;; *) fail "pkg-config --libs does not lead into the unpacked root: $libs" ;; esac
cc=${CC:-cc}
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror -o "$tmp/host" "$tmp/host.c" $cflags $libs
# The host must load the unpacked library, not one installed on the system.
loaded=$(LD_LIBRARY_PATH=$libdir ldd "$tmp/host" | awk -v n="lib$name.so.1" '$1 == n {print $3}')
[ "$(readlink -f "$loaded")" = "$(readlink -f "$libdir/lib$name.so.1")" ] || fail "the host loads '$loaded'"
LD_LIBRARY_PATH=$libdir "$tmp/host"
echo "deb_consumer: C host through pkg-config (shared): ok"

# ---- The static library, through pkg-config --static --------------------------
if [ -f "$libdir/lib$name.a" ]; then
  # -l would take the .so from the same folder: name the archive itself.
  slibs=$(pkg-config --static --libs "$name" | sed "s/-l$name\\b/-l:lib$name.a/")
  # shellcheck disable=SC2086
  "$cc" -std=c99 -Wall -Wextra -Werror -o "$tmp/host-static" "$tmp/host.c" $cflags $slibs
  if readelf -d "$tmp/host-static" | grep -q "lib$name"; then fail "the static host still needs the shared library"; fi
  "$tmp/host-static"
  echo "deb_consumer: C host through pkg-config --static: ok"
else
  fail "the -dev package has no lib$name.a"
fi

# ---- The unpacked CMake package -----------------------------------------------
if command -v cmake >/dev/null 2>&1; then
  mkdir "$tmp/cm"
  cp "$tmp/host.c" "$tmp/cm/host.c"
  cat >"$tmp/cm/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(deb_host C)
find_package(quorvane-velotune-feed-rss-parser 1 REQUIRED)
add_executable(host host.c)
target_link_libraries(host PRIVATE lyrn::lyrn)
CM
  cmake -S "$tmp/cm" -B "$tmp/cm/build" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_C_COMPILER="$cc" >/dev/null
  cmake --build "$tmp/cm/build" >/dev/null
  LD_LIBRARY_PATH=$libdir "$tmp/cm/build/host"
  echo "deb_consumer: C host through find_package and lyrn::lyrn: ok"
  # The same package with its static targets, as a host asks for them.
  cmake -S "$tmp/cm" -B "$tmp/cm/static" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_C_COMPILER="$cc" \
    -DLYRN_USE_STATIC_LIBS=ON >/dev/null
  cmake --build "$tmp/cm/static" >/dev/null
  if readelf -d "$tmp/cm/static/host" | grep -q "lib$name"; then fail "the static CMake host needs the shared library"; fi
  "$tmp/cm/static/host"
  echo "deb_consumer: C host through find_package, static targets: ok"
fi

# ---- A Vala host through the unpacked vapi ---------------------------------------
if command -v valac >/dev/null 2>&1 && pkg-config --exists glib-2.0; then
  cat >"$tmp/host.vala" <<'VALA'
int main () {
	var json = Lyrn.parse_feed_json ("<rss><channel><title>Night Radio</title></channel></rss>", 0, null);
	var url = Lyrn.build_user_feed_url ("https://feeds.example.com/music", "../etc", "all");
	if (json == null || !json.has_prefix ("{\"name\":\"Night Radio\"") || url != null
	    || Lyrn.last_error () != "invalid user_id") {
		stderr.printf ("got %s, %s\n", json, Lyrn.last_error ());
		return 1;
	}
	print ("%s ok\n", Lyrn.version ());
	return 0;
}
VALA
  valac --vapidir "$root/usr/share/vala/vapi" --pkg "$name" -X "-I$root/usr/include" -X "-L$libdir" \
    -X "-l$name" -d "$tmp" -o "$tmp/vala-host" "$tmp/host.vala" >/dev/null
  LD_LIBRARY_PATH=$libdir "$tmp/vala-host"
  echo "deb_consumer: Vala host through the packaged vapi: ok"
fi

# ---- The unpacked tool ----------------------------------------------------------
out=$(LD_LIBRARY_PATH=$libdir "$root/usr/bin/lyrn" feed examples/sample-feed.xml --url https://feeds.example.com/music/demo/all/feed.xml)
case $out in '{"name":'*) ;; *) fail "the unpacked lyrn printed: $out" ;; esac
echo "deb_consumer: the unpacked lyrn converts the sample feed: ok"
