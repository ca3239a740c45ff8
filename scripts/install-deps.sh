#!/usr/bin/env bash
# Installs the Debian packages that the native and Windows builds and the
# tests need, and fetches Debian's lz4 source package for the Windows build.
# Safe to run repeatedly; does nothing that is already done.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
lz4_dir=${LZ4_SOURCE_DIR:-$here/.deps/lz4}

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev liblz4-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth
  dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
src_list=/etc/apt/sources.list.d/tandravole-src.sources
need_update=0
if [ ! -f "$src_list" ]; then
  # A deb-src entry for the machine's own suite, so the lz4 source matches the
  # liblz4 that the native build links.
  cat >"$src_list" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

if [ ! -f "$lz4_dir/lib/lz4.c" ]; then
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source -q --download-only lz4 >/dev/null && dpkg-source -x --no-check ./*.dsc src >/dev/null)
  mkdir -p "$(dirname "$lz4_dir")"
  rm -rf "$lz4_dir"
  mv "$tmp/src" "$lz4_dir"
  rm -rf "$tmp"
fi
echo "dependencies ready (lz4 source: $lz4_dir)"
