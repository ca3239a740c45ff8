#!/usr/bin/env bash
# The main job: builds natively and runs what the project can run on Linux today — the
# benchmarks of the transport, the protocol engine, the library lists and the simulated player.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "${JOBS:-$(nproc)}"
status=0
for bench in transport_bench engine_bench lists_bench simhost_bench; do
  exe=$(find build/native/tools/bench -maxdepth 1 -name "$bench" -type f | head -n 1)
  if [ -n "$exe" ]; then
    echo "=== $bench ==="
    "$exe" || status=$?
  fi
done
exit $status
