#!/usr/bin/env bash
# Configures and builds into build/ (or $VELMORAN_BUILD_DIR). Extra arguments go to cmake.
# A new build directory uses Ninja when it is installed; an existing one keeps its generator.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELMORAN_BUILD_DIR:-$root/build}"
# Paths relative to the checkout let every clone share one compiler cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
