#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: install-deps.sh [run|test|clang|lint|abi|coverage]
# Installs what the asked-for target needs when it is missing:
#   run    building the library and the tool (`make run`, `make install`):
#          a C++ compiler, make, CMake, pkg-config and yyjson >= 0.12;
#   test   the above, plus GoogleTest, binutils, git, groff and mandoc for the
#          manual pages, pytest for the Python package, Node.js and npm for
#          the addon, cargo, Go, valac with GLib and Dask's distributed
#          scheduler for the Rust, Go, Vala and Dask bindings' tests (valgrind
#          checks the Vala program's memory), and a single-byte and a
#          decimal-comma locale for the locale tests;
#   clang  the test set plus clang, for the clang build;
#   lint   the test set plus clang-tidy and cppcheck (`make lint`);
#   abi    the run set plus abigail-tools for abidw and abidiff (`make abi-check`);
#   coverage  the test set plus gcovr (`make coverage`).
# Safe to run again: when everything is there it says so in one line. Without
# root it installs nothing: it prints the command to run and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-run}
case "$target" in
  run | test | clang | lint | abi | coverage) ;;
  *) echo "usage: install-deps.sh [run|test|clang|lint|abi|coverage]" >&2; exit 2 ;;
esac

need_pkgs=()
need_yyjson=0
need_locales=0
have() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

yyjson_ok() {
  local v
  v=$(pkg-config --modversion yyjson 2>/dev/null || true)
  [ -n "$v" ] || return 1
  dpkg --compare-versions "$v" ge 0.12 2>/dev/null
}

locales_ok() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.iso88591$' &&
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'
}

if ! have apt-get || ! have dpkg; then
  cat >&2 <<'MSG'
install-deps: this machine has no apt. Install by hand: a C++17 compiler (g++ or
clang++), CMake 3.25 or later, pkg-config and yyjson 0.12 or later (with its
CMake config or pkg-config file); for the tests also GoogleTest (with its CMake
config), Python 3 with pytest, and Node.js with npm. Then run the make target
again. The locale tests skip themselves when the locales de_DE.ISO-8859-1 and
de_DE.UTF-8 are not generated, and the Rust, Go, Vala and Dask tests when cargo,
Go, valac with GLib or Python's dask.distributed are missing.
MSG
  exit 1
fi

# Building the library and the tool.
have g++ || need_pkgs+=(g++)
have cmake || need_pkgs+=(cmake)
have make || need_pkgs+=(make)
have pkg-config || need_pkgs+=(pkg-config)
yyjson_ok || need_yyjson=1

# The tests.
if [ "$target" != run ] && [ "$target" != abi ]; then
  have nm || need_pkgs+=(binutils)
  have git || need_pkgs+=(git)
  have_pkg libgtest-dev || need_pkgs+=(libgtest-dev)
  have_pkg googletest || need_pkgs+=(googletest)
  have_pkg locales || need_pkgs+=(locales)
  have /usr/bin/python3 || need_pkgs+=(python3)
  have_pkg python3-pytest || need_pkgs+=(python3-pytest)
  have_pkg python3-setuptools || need_pkgs+=(python3-setuptools)
  have_pkg python3-pip || need_pkgs+=(python3-pip)
  have_pkg python3-wheel || need_pkgs+=(python3-wheel)
  have groff || need_pkgs+=(groff-base)
  have mandoc || need_pkgs+=(mandoc)
  have node || need_pkgs+=(nodejs)
  have npm || need_pkgs+=(npm)
  have cargo || need_pkgs+=(cargo)
  have go || need_pkgs+=(golang-go)
  have valac || need_pkgs+=(valac)
  have_pkg libglib2.0-dev || need_pkgs+=(libglib2.0-dev)
  have valgrind || need_pkgs+=(valgrind)
  have_pkg python3-distributed || need_pkgs+=(python3-distributed)
  locales_ok || need_locales=1
fi
if [ "$target" = clang ]; then
  have clang++ || need_pkgs+=(clang)
fi
if [ "$target" = lint ]; then
  have clang-tidy || need_pkgs+=(clang-tidy)
  have cppcheck || need_pkgs+=(cppcheck)
fi
if [ "$target" = abi ]; then
  { have abidw && have abidiff; } || need_pkgs+=(abigail-tools)
fi
if [ "$target" = coverage ]; then
  have gcovr || need_pkgs+=(gcovr)
fi

missing=0
[ ${#need_pkgs[@]} -eq 0 ] && [ "$need_yyjson" = 0 ] && [ "$need_locales" = 0 ] || missing=1

if [ "$missing" = 1 ] && [ "$(id -u)" != 0 ]; then
  what=("${need_pkgs[@]}")
  [ "$need_yyjson" = 0 ] || what+=("yyjson>=0.12")
  [ "$need_locales" = 0 ] || what+=("the de_DE.ISO-8859-1 and de_DE.UTF-8 locales")
  {
    echo "install-deps: missing for '$target': ${what[*]}."
    echo "Installing packages needs root. Run: sudo bash scripts/install-deps.sh $target"
    echo "(it installs only what is missing, from Debian's archive), then run the make target again."
  } | fmt -w 100 >&2
  exit 1
fi

changed=0
if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "install-deps: installing ${need_pkgs[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
  changed=1
fi

# The locale tests switch the process to these two locales.
if [ "$need_locales" = 1 ]; then
  echo "install-deps: generating the de_DE.ISO-8859-1 and de_DE.UTF-8 locales"
  for l in 'de_DE ISO-8859-1' 'de_DE.UTF-8 UTF-8'; do
    grep -qxF "$l" /etc/locale.gen 2>/dev/null || echo "$l" >>/etc/locale.gen
  done
  locale-gen >/dev/null
  changed=1
fi

# The mirror that the machine's apt sources already use (first Debian main archive).
debian_mirror() {
  local f uri=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk 'tolower($1)=="uris:" { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' "$f")
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1=="deb" { for (i = 2; i <= NF; i++) if ($i ~ /^(https?|ftp):/ && $i !~ /security/) { print $i; exit } }' /etc/apt/sources.list)
  fi
  printf '%s' "${uri%/}"
}

# yyjson 0.12: this Debian release ships none, so take the two binary packages
# from the unstable suite of the same mirror, with a private apt state so the
# system's sources are not changed.
if [ "$need_yyjson" = 1 ]; then
  mirror=$(debian_mirror)
  if [ -z "$mirror" ]; then
    echo "install-deps: cannot find the Debian mirror in the apt sources; install yyjson >= 0.12 by hand" >&2
    exit 1
  fi
  echo "install-deps: installing yyjson 0.12 from the unstable suite"
  state=$(mktemp -d)
  trap 'rm -rf "$state"' EXIT
  chmod 755 "$state"
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/etc"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror unstable main" >"$state/etc/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$state/etc/sources.list" -o "Dir::Etc::SourceParts=-"
            -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
            -o "APT::Get::List-Cleanup=0" -o "Acquire::Languages=none")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$state" && apt-get "${apt_opts[@]}" download libyyjson0 libyyjson-dev >/dev/null 2>&1)
  dpkg -i "$state"/libyyjson0_*.deb "$state"/libyyjson-dev_*.deb >/dev/null
  yyjson_ok || { echo "install-deps: yyjson >= 0.12 is still missing after the install" >&2; exit 1; }
  changed=1
fi

# The Node.js addon's build tools from the npm registry (pinned by its lock
# file); the addon itself is built offline by the tests.
if [ "$target" != run ] && [ "$target" != abi ]; then
  bash bindings/node/scripts/setup.sh >/dev/null
fi

if [ "$changed" = 0 ]; then
  echo "install-deps: everything needed for '$target' is already installed"
fi
