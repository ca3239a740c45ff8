#!/usr/bin/env bash
# The storm for as long as asked: hostile and busy apps against two tandravole-host processes
# (one letting a second app take the session over, one refusing it) on 127.0.0.1, at the lowest
# priority. Prints the apps' figures and the hosts' threads, descriptors and resident memory
# every minute, then checks that every host came back to where it started, still serves a new
# app and stops cleanly (tools/storm/main.cpp).
#
# Usage: scripts/soak.sh MINUTES [BUILD_DIR]   (default build/native; a sanitizer build works too)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

minutes=${1:-}
dir=${2:-build/native}
if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ]; then
  echo "usage: scripts/soak.sh MINUTES [BUILD_DIR]" >&2
  exit 2
fi
scripts/install-deps.sh run >/dev/null
[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" -j "${JOBS:-$(nproc)}" --target tandravole-storm tandravole-host
# Resident memory is compared only natively: the sanitizers' allocators keep freed memory.
margin=16
grep -q '^TANDRAVOLE_SANITIZE:STRING=.\+' "$dir/CMakeCache.txt" && margin=0
exec nice -n 19 "$dir/tools/storm/tandravole-storm" --host "$dir/linuxhost/tandravole-host" \
  --seconds $((minutes * 60)) --report-every 60 --rss-margin-mb "$margin"
