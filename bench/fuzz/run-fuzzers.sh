#!/bin/sh
# Builds the libFuzzer targets with clang in their own build folder and runs each for a bounded
# time. New corpus entries stay outside the repository; inputs that crash, leak or hang are
# copied into tests/fuzz/regressions/<target>/, where the normal build replays them as tests.
#
# Usage: bench/fuzz/run-fuzzers.sh [seconds-per-target (60)] [target ...]
# Targets: reply discovery projectfile usbproperties (all by default).
# Environment: VELMORAN_FUZZ_BUILD (build folder, default build-fuzz),
#              VELMORAN_FUZZ_CORPUS (corpus folder, default ~/.cache/velmoran-fuzz),
#              VELMORAN_FUZZ_JOBS (build jobs, default 2).
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-reply discovery projectfile usbproperties}

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${VELMORAN_FUZZ_BUILD:-$source_dir/build-fuzz}
corpus_root=${VELMORAN_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/velmoran-fuzz}
fuzz_dir=$source_dir/tests/fuzz

mkdir -p "$corpus_root"
build_log=$corpus_root/build.log
echo "== building the fuzz targets in $build_dir (log: $build_log)"
cmake -S "$source_dir" -B "$build_dir" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -fsanitize=fuzzer-no-link" \
    -DVELMORAN_SANITIZE=ON -DVELMORAN_FUZZ=ON -DVELMORAN_BUILD_BENCH=OFF >"$build_log" 2>&1 ||
    { tail -n 30 "$build_log"; exit 2; }
for target in $targets; do
    if ! cmake --build "$build_dir" --target "fuzz_$target" -j"${VELMORAN_FUZZ_JOBS:-2}" \
        >>"$build_log" 2>&1; then
        tail -n 30 "$build_log"
        exit 2
    fi
done

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

summary=""
found=0
for target in $targets; do
    corpus=$corpus_root/corpus/$target
    artifacts=$corpus_root/artifacts/$target
    log=$corpus_root/$target.log
    mkdir -p "$corpus" "$artifacts"
    dict=$source_dir/bench/fuzz/dicts/$target.dict
    if [ -f "$dict" ]; then dict="-dict=$dict"; else dict=""; fi

    echo "== fuzz_$target for $seconds s (corpus $corpus)"
    # libFuzzer writes new entries only into the first folder: the seeds and regressions stay as they are.
    set +e
    "$build_dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" $dict \
        "$corpus" "$fuzz_dir/seeds/$target" "$fuzz_dir/regressions/$target" >"$log" 2>&1
    status=$?
    set -e

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    for input in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
        [ -f "$input" ] || continue
        mkdir -p "$fuzz_dir/regressions/$target"
        cp "$input" "$fuzz_dir/regressions/$target/"
        echo "   kept $(basename "$input") in tests/fuzz/regressions/$target/"
        rm -f "$input"
        found=1
    done
    if [ $status -ne 0 ]; then
        echo "   fuzz_$target stopped with status $status; log: $log"
        grep -m 5 -E 'ERROR|SUMMARY|check failed|runtime error' "$log" | sed 's/^/   /' || true
        found=1
    fi
    summary="$summary$(printf '%-14s %12s runs %8s exec/s  status %s' "$target" "${runs:-?}" "${rate:-?}" "$status")
"
done

printf '\n%s' "$summary"
exit $found
