#!/usr/bin/env bash
# The main job: builds natively and runs tandravole-host, the remote-control server against
# the simulated player with its demo library, on port 19371 until Ctrl-C.
# Usage: scripts/run.sh [tandravole-host options]   (scripts/run.sh --help lists them)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "${JOBS:-$(nproc)}" --target tandravole-host tandravole-remote
exec build/native/linuxhost/tandravole-host "$@"
