#!/usr/bin/env bash
# One command: install dependencies, build, and run the whole test suite through ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${VELMORAN_BUILD_DIR:-$root/build}"
if command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 && [ -x "$root/scripts/check-windows-layer.sh" ]; then
    "$root/scripts/check-windows-layer.sh"
fi
cd "$build"
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 300 || status=$?
"$root/scripts/test-size.sh" || true
exit "$status"
