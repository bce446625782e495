#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian binary packages from a clean copy of the committed tree
# (git archive of HEAD, never the work tree or its build folders) with
# `dpkg-buildpackage -us -uc -b`, puts the .deb files with their .changes and
# .buildinfo in build-deb/ at the top of the tree, then runs lintian on them:
# any error or warning fails.
#
# Environment:
#   LYRN_DEB_REF        the commit to package (default HEAD)
#   LYRN_DEB_DIR        where the packages go (default build-deb at the top)
#   DEB_BUILD_OPTIONS   passed on; parallel=2 is added when it sets no parallel=
#                       (use "nocheck" to skip the unit tests while iterating)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
ref=${LYRN_DEB_REF:-HEAD}
out=${LYRN_DEB_DIR:-$top/build-deb}

have() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! have dpkg || ! have apt-get; then
  echo "make-deb: this machine has no dpkg and apt; Debian packages are built on Debian or a derivative" >&2
  exit 1
fi

# ---- The packaging tools ----------------------------------------------------
tools=()
have_pkg dpkg-dev || tools+=(dpkg-dev)
have_pkg debhelper || tools+=(debhelper)
have_pkg fakeroot || tools+=(fakeroot)
have_pkg lintian || tools+=(lintian)
have_pkg git || tools+=(git)
if [ ${#tools[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    cat >&2 <<MSG
make-deb: the packaging tools ${tools[*]} are missing and installing them needs
root. Run: sudo apt-get update && sudo apt-get install -y --no-install-recommends ${tools[*]}
then run \`make deb\` again.
MSG
    exit 1
  fi
  echo "make-deb: installing ${tools[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tools[@]}" >/dev/null
fi

# ---- A clean copy of the committed tree --------------------------------------
git -C "$top" rev-parse --verify -q "$ref^{commit}" >/dev/null ||
  { echo "make-deb: '$ref' is not a commit of $top" >&2; exit 1; }
if [ "$ref" = HEAD ] && [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "make-deb: note: uncommitted changes are not packaged (only $(git -C "$top" rev-parse --short HEAD) is)"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/quorvane-velotune-feed-rss-parser
mkdir "$src"
git -C "$top" archive --format=tar "$ref" | tar -x -C "$src"
[ -f "$src/debian/control" ] || { echo "make-deb: $ref has no debian/ folder" >&2; exit 1; }

# ---- The build dependencies --------------------------------------------------
# dpkg-checkbuilddeps names what is missing, "name (>= version)" items split by
# spaces after the colon; yyjson 0.12 comes from unstable, which
# scripts/install-deps.sh knows how to fetch.
profiles=()
case " ${DEB_BUILD_OPTIONS:-} ${DEB_BUILD_PROFILES:-} " in
  *" nocheck "*) profiles=(-Pnocheck) ;;
esac
missing_deps() {
  (cd "$src" && dpkg-checkbuilddeps "${profiles[@]}" 2>&1 >/dev/null) |
    sed -n 's/.*Unmet build dependencies: //p' | sed 's/([^)]*)//g; s/<[^>]*>//g' | tr -s ' ' '\n' | sed '/^$/d'
}
mapfile -t deps < <(missing_deps)
if [ ${#deps[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    apt_deps=() yyjson=0
    for d in "${deps[@]}"; do
      case $d in libyyjson-dev) yyjson=1 ;; *) apt_deps+=("$d") ;; esac
    done
    {
      echo "make-deb: the build dependencies ${deps[*]} are missing and installing them needs root. Run:"
      [ ${#apt_deps[@]} -eq 0 ] || echo "  sudo apt-get install -y --no-install-recommends ${apt_deps[*]}"
      [ "$yyjson" = 0 ] || echo "  sudo bash scripts/install-deps.sh run    # yyjson 0.12, from Debian unstable"
      echo "then run \`make deb\` again."
    } >&2
    exit 1
  fi
  apt_deps=()
  for d in "${deps[@]}"; do
    [ "$d" = libyyjson-dev ] && continue
    apt_deps+=("$d")
  done
  if [ ${#apt_deps[@]} -gt 0 ]; then
    echo "make-deb: installing the build dependencies ${apt_deps[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${apt_deps[@]}" >/dev/null
  fi
  if printf '%s\n' "${deps[@]}" | grep -qx libyyjson-dev; then
    bash "$top/scripts/install-deps.sh" run
  fi
  (cd "$src" && dpkg-checkbuilddeps "${profiles[@]}")
fi

# ---- Build -------------------------------------------------------------------
opts=${DEB_BUILD_OPTIONS:-}
case " $opts " in *" parallel="*) ;; *) opts="${opts:+$opts }parallel=2" ;; esac
echo "make-deb: building $(cd "$src" && dpkg-parsechangelog -S Version) from $(git -C "$top" rev-parse --short "$ref") (DEB_BUILD_OPTIONS=$opts)"
(cd "$src" && DEB_BUILD_OPTIONS=$opts dpkg-buildpackage -us -uc -b "${profiles[@]}" >"$work/build.log" 2>&1) || {
  tail -n 60 "$work/build.log" >&2
  echo "make-deb: dpkg-buildpackage failed (last 60 lines above)" >&2
  exit 1
}

mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
cp "$work/build.log" "$out/build.log"
echo "make-deb: packages in $out:"
(cd "$out" && ls -1 ./*.deb | sed 's|^\./|  |')

# ---- lintian -----------------------------------------------------------------
changes=$(ls "$out"/*.changes)
echo "make-deb: lintian $(lintian --version | awk '{print $2}') on $(basename "$changes"):"
if ! lintian --fail-on error,warning --display-info "$changes"; then
  echo "make-deb: lintian reported an error or a warning" >&2
  exit 1
fi
echo "make-deb: lintian: no error, no warning"
