#!/usr/bin/env bash
# Runs every test: installs what the builds need, then builds and tests natively, with
# ASan+UBSan, with TSan, and for Windows (the tests run under Wine inside a virtual display),
# then runs every fuzz target for 30 seconds (scripts/fuzz.sh).
# Usage: scripts/test.sh [native|asan|tsan|windows|fuzz ...]   (default: all five)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh test

# Includes point down the layers and OS headers stay in their folders (docs/ARCHITECTURE.md).
scripts/check-layers.py
echo "=== dependencies installed and layers checked in $SECONDS s ==="

jobs=${JOBS:-$(nproc)}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(native asan tsan windows fuzz)

build() { # dir [--target T], extra cmake arguments...
  local dir=$1 target=()
  shift
  if [ "${1:-}" = --target ]; then target=(--target "$2"); shift 2; fi
  cmake -S . -B "$dir" -G Ninja -DTANDRAVOLE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" "${target[@]}"
}

# Sanitizer builds at -O1: they compile faster than at -O2 and still find what they look for.
# Every build keeps only line tables for debugging (-g1): reports and backtraces still name
# each function, file and line, and a test TU compiles about a quarter faster than with -g.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1")
release_flags=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
               "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

run_native() { # dir
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 300
}

run_windows() {
  local dir=build/windows
  # The app's side of the end-to-end test is the native client, talking to the DLL under Wine.
  build build/native --target tandravole-remote "${release_flags[@]}"
  build "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake "${release_flags[@]}" \
    "-DTANDRAVOLE_LINUX_CLIENT=$root/build/native/client/tandravole-remote"
  # A prefix of our own, created once per run; only its wineserver is stopped afterwards.
  export WINEPREFIX="$root/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  local status=0
  xvfb-run -a ctest --test-dir "$dir" --output-on-failure --timeout 600 || status=$?
  wineserver -k >/dev/null 2>&1 || true
  return $status
}

for config in "${configs[@]}"; do
  echo "=== $config ==="
  started=$SECONDS
  case $config in
    native) build build/native "${release_flags[@]}" && run_native build/native ;;
    asan)
      build build/asan -DTANDRAVOLE_SANITIZE=address "${sanitizer_flags[@]}"
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
        run_native build/asan ;;
    tsan)
      build build/tsan -DTANDRAVOLE_SANITIZE=thread "${sanitizer_flags[@]}"
      TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_native build/tsan ;;
    windows) run_windows ;;
    fuzz) JOBS=$jobs scripts/fuzz.sh all 30 ;;
    *) echo "unknown configuration: $config (native, asan, tsan, windows, fuzz)" >&2; exit 2 ;;
  esac
  echo "=== $config passed in $((SECONDS - started)) s ==="
done
echo "all tests passed: ${configs[*]}"
