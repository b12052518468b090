#!/usr/bin/env bash
# Builds the load benchmark in a Release tree and runs it at low priority.
#   bench/load/run-load.sh [minutes=10] [interval-ms=1000] [loggers=64]
# BUILD_DIR overrides the build tree (default build-rel next to the sources).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$src/build-rel}"
minutes="${1:-10}"
interval="${2:-1000}"
loggers="${3:-64}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
nice cmake --build "$build" --target velmoran-bench-load -j2 >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(awk '/MemTotal/ {printf "%.1f GB RAM", $2/1048576}' /proc/meminfo)"
exec nice "$build/bench/load/velmoran-bench-load" --minutes "$minutes" --interval "$interval" --loggers "$loggers"
