#!/usr/bin/env bash
# Installs the Debian packages a job needs. Safe to run repeatedly; does nothing that is
# already done.
#
#   scripts/install-deps.sh run    what scripts/run.sh needs to build and run tandravole-host
#                                  and tandravole-remote: build tools and libraries, nothing
#                                  that starts or changes a service
#   scripts/install-deps.sh test   also what the tests need (GoogleTest, the Windows toolchain,
#                                  Wine, Xvfb, clang for the fuzz targets, the DNS-SD test
#                                  daemon, mpd with sox and flac to make its music) and
#                                  Debian's lz4 sources for the Windows build
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
lz4_dir=${LZ4_SOURCE_DIR:-$here/.deps/lz4}
job=${1:-}
case $job in
  run | test) ;;
  *) echo "usage: scripts/install-deps.sh run|test" >&2; exit 2 ;;
esac

# The host: build tools, the libraries it links (LZ4, ICU, RapidJSON, stb, libcurl, libmpdclient)
# and Avahi's DNS-SD client library, which it loads at run time (the library only: no daemon).
packages=(
  build-essential cmake ninja-build pkg-config
  liblz4-dev libicu-dev rapidjson-dev libstb-dev libcurl4-openssl-dev ca-certificates
  libavahi-compat-libdnssd1 libmpdclient-dev
)
if [ "$job" = test ]; then
  packages+=(
    googletest libgtest-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev nsis
    wine wine64 xvfb xauth
    clang libclang-rt-14-dev
    dpkg-dev python3 openssl
    avahi-daemon avahi-utils dbus iproute2 util-linux
    mpd sox flac
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_update=0
# The Windows build compiles Debian's lz4 sources: a deb-src entry for the machine's suite
# (sets need_update when it had to be written).
add_source_entry() {
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
src_list=/etc/apt/sources.list.d/tandravole-src.sources

# The machine's own binary entry for its suite (URIs and Signed-By), so that a machine behind
# a local mirror fetches the sources from that mirror too. deb822 files first, then one-line
# lists ("deb [signed-by=...] URI suite components").
entry=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  entry=$(awk -v suite="$suite" '
      function flush() {
        if (!found && types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uris != "") {
          print "URIs: " uris; if (signed != "") print "Signed-By: " signed; found = 1
        }
        types = suites = uris = signed = ""; insigned = 0
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (insigned) signed = signed "\n" $0; next }
      { insigned = 0; key = tolower($1); sub(/^[^:]*:[ \t]*/, "")
        if (key == "types:") types = $0
        else if (key == "suites:") suites = $0
        else if (key == "uris:") uris = $0
        else if (key == "signed-by:") { signed = $0; insigned = 1 } }
      END { flush() }' "$f")
  [ -n "$entry" ] && break
done
if [ -z "$entry" ]; then
  entry=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v suite="$suite" '
      $1 == "deb" {
        opts = ""; i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        if ($(i + 1) != suite) next
        print "URIs: " $i
        if (match(opts, /signed-by=[^] ]+/)) print "Signed-By: " substr(opts, RSTART + 10, RLENGTH - 10)
        exit }')
fi
if [ -z "$entry" ]; then
  echo "install-deps: no 'deb' entry for suite $suite in the apt configuration" >&2
  exit 1
fi
# A deb-src entry for the same suite, so the lz4 source matches the liblz4 that the native
# build links.
wanted=$(printf 'Types: deb-src\n%s\nSuites: %s\nComponents: main\n' "$(printf '%s\n' "$entry" | grep '^URIs:')" "$suite"
         printf '%s\n' "$entry" | sed -n '/^Signed-By:/,$p')
if [ ! -f "$src_list" ] || [ "$(cat "$src_list")" != "$wanted" ]; then
  printf '%s\n' "$wanted" >"$src_list"
  need_update=1
fi
}
[ "$job" = run ] || add_source_entry

if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing Debian packages; as root: apt-get install ${missing[*]}" >&2
  exit 1
fi
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    # avahi-daemon and mpd are installed for the tests, which start their own daemons (avahi in
    # a network namespace that has only the loopback interface, mpd on a free port of
    # 127.0.0.1). Installed here neither may start on the machine: no service starts during the
    # installation (policy-rc.d), and where systemd runs, the daemons it would start on demand
    # are masked.
    new_avahi=""
    case " ${missing[*]} " in *" avahi-daemon "*) new_avahi=yes ;; esac
    new_mpd=""
    case " ${missing[*]} " in *" mpd "*) new_mpd=yes ;; esac
    policy=/usr/sbin/policy-rc.d
    own_policy=""
    if { [ -n "$new_avahi" ] || [ -n "$new_mpd" ]; } && [ ! -e "$policy" ]; then
      printf '#!/bin/sh\nexit 101\n' >"$policy"
      chmod 755 "$policy"
      own_policy=yes
    fi
    status=0
    apt-get install -y -q --no-install-recommends "${missing[@]}" || status=$?
    [ -z "$own_policy" ] || rm -f "$policy"
    [ $status -eq 0 ] || exit $status
    if [ -n "$new_avahi" ] && [ -d /run/systemd/system ] && command -v systemctl >/dev/null; then
      systemctl mask --now avahi-daemon.service avahi-daemon.socket
      echo "install-deps: avahi-daemon installed for the tests and masked in systemd; for" \
           "discovery on this machine: systemctl unmask avahi-daemon.service avahi-daemon.socket" \
           "&& systemctl enable --now avahi-daemon"
    fi
    if [ -n "$new_mpd" ] && [ -d /run/systemd/system ] && command -v systemctl >/dev/null; then
      systemctl mask --now mpd.service mpd.socket
      echo "install-deps: mpd installed for the tests and masked in systemd"
    fi
  fi
fi

if [ "$job" = test ] && [ ! -f "$lz4_dir/lib/lz4.c" ]; then
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source -q --download-only lz4 >/dev/null && dpkg-source -x --no-check ./*.dsc src >/dev/null)
  mkdir -p "$(dirname "$lz4_dir")"
  rm -rf "$lz4_dir"
  mv "$tmp/src" "$lz4_dir"
  rm -rf "$tmp"
fi
if [ "$job" = test ]; then
  echo "dependencies ready for the tests (lz4 source: $lz4_dir)"
else
  echo "dependencies ready for the host"
fi
