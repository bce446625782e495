#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build and the tests need when it is missing:
# a C++ compiler, cmake, pkg-config, GoogleTest, yyjson >= 0.12 and a
# single-byte plus a decimal-comma locale for the locale tests.
# Safe to run again: when everything is there it says so in one line.
set -euo pipefail

need_pkgs=()
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
clang++), CMake 3.25 or later, pkg-config, GoogleTest (with its CMake config),
and yyjson 0.12 or later (with its CMake config or pkg-config file); then run
`make test` again. The locale tests skip themselves when the locales
de_DE.ISO-8859-1 and de_DE.UTF-8 are not generated.
MSG
  exit 1
fi

have g++ || need_pkgs+=(g++)
have cmake || need_pkgs+=(cmake)
have make || need_pkgs+=(make)
have pkg-config || need_pkgs+=(pkg-config)
have nm || need_pkgs+=(binutils)
have_pkg libgtest-dev || need_pkgs+=(libgtest-dev)
have_pkg googletest || need_pkgs+=(googletest)
have_pkg locales || need_pkgs+=(locales)

changed=0
if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "install-deps: installing ${need_pkgs[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
  changed=1
fi

# The locale tests switch the process to these two locales.
if ! locales_ok; then
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
if ! yyjson_ok; then
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
  (cd "$state" && apt-get "${apt_opts[@]}" download libyyjson0 libyyjson-dev >/dev/null)
  dpkg -i "$state"/libyyjson0_*.deb "$state"/libyyjson-dev_*.deb >/dev/null
  yyjson_ok || { echo "install-deps: yyjson >= 0.12 is still missing after the install" >&2; exit 1; }
  changed=1
fi

if [ "$changed" = 0 ]; then
  echo "install-deps: everything needed is already installed"
fi
