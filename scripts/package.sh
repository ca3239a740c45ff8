#!/usr/bin/env bash
# Builds the Windows installer, build/windows/Tandravole-Setup-<version>.exe: the plug-in DLL
# cross-compiled with mingw-w64 and wrapped by NSIS. Installs what the Windows build needs
# first (as the test command does).
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh test # the Windows toolchain and NSIS come with the tests' packages
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build/windows -j "${JOBS:-$(nproc)}" --target installer
ls -1 "$root"/build/windows/Tandravole-Setup-*.exe
