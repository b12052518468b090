#!/usr/bin/env bash
# Builds with gcov instrumentation in build-coverage/, runs the whole suite and prints line and
# branch coverage of the program code (tests, benchmarks, the simulator's tests and generated
# files do not count). Extra arguments go to ctest, e.g. -R store.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELMORAN_COVERAGE_DIR:-$root/build-coverage}"
"$root/scripts/install-deps.sh"
if ! command -v gcovr >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends gcovr
fi
generator=()
[ -f "$build/CMakeCache.txt" ] || ! command -v ninja >/dev/null 2>&1 || generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DVELMORAN_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
    -DCMAKE_SHARED_LINKER_FLAGS="--coverage" >/dev/null
# Objects and notes of test programs that no longer exist would be read as stale coverage.
[ -f "$build/build.ninja" ] && ninja -C "$build" -t cleandead >/dev/null
cmake --build "$build" -j"$(nproc)"
find "$build" -name '*.gcno' | while IFS= read -r notes; do
    [ -f "${notes%.gcno}.o" ] || rm -f "$notes"
done
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest -j"$(nproc)" --timeout 600 "$@") || true
cd "$root"
filters=()
for d in app device discovery store project view dialogs sim recorder history report postgres; do
    [ -d "$d" ] && filters+=(--filter "$d/")
done
gcovr --root "$root" "${filters[@]}" --exclude '.*_autogen/.*' --exclude '.*/tests/.*' \
    --gcov-ignore-parse-errors --print-summary "$build" -o "$build/coverage.txt"
