#!/usr/bin/env bash
# The main job: installs what the host needs (scripts/install-deps.sh run: build tools and
# libraries, no service is started, stopped or masked), builds natively and runs
# tandravole-host, the remote-control server against the simulated player with its demo
# library (or, with --player mpd, a real MPD), on port 19371 until Ctrl-C.
# Usage: scripts/run.sh [tandravole-host options]   (scripts/run.sh --help lists them)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh run
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "${JOBS:-$(nproc)}" --target tandravole-host tandravole-remote
exec build/native/linuxhost/tandravole-host "$@"
