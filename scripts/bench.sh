#!/usr/bin/env bash
# The benchmarks: builds natively and runs those of the transport, the protocol engine, the
# memory the engine keeps per session, queued message, pending cover and queued byte, the
# library lists, the library queries and the simulated player (with the library file's parse
# time and peak memory), and the whole Linux host with the client (host_bench, which sits idle
# for a minute with the simulated player and another with a real MPD that it starts on
# 127.0.0.1 with 10,000 generated tracks), printing their figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh run
benches=(transport_bench engine_bench session_bench lists_bench library_bench simhost_bench host_bench)
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "${JOBS:-$(nproc)}" --target "${benches[@]}"
status=0
for bench in "${benches[@]}"; do
  exe=$(find build/native/tools/bench -maxdepth 1 -name "$bench" -type f | head -n 1)
  if [ -n "$exe" ]; then
    echo "=== $bench ==="
    "$exe" || status=$?
  fi
done
exit $status
