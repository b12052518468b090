#!/usr/bin/env bash
# Prints the size of the test suite against the program code it tests, in non-blank lines.
# Tests: every text file under tests/ (sources, CMake, scripts, seeds and dictionaries).
# Code: the program's libraries and the simulator; benchmarks and scripts count for neither.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- "$@"
    else
        find "$@" -type f 2>/dev/null
    fi
}

count() {
    local total=0 n f
    while IFS= read -r f; do
        [ -f "$f" ] || continue
        grep -Iq . "$f" 2>/dev/null || continue # binary or empty
        n=$(grep -cv '^[[:space:]]*$' "$f" || true)
        total=$((total + n))
    done
    echo "$total"
}

code_dirs=()
for d in app device discovery store project view dialogs sim recorder history report postgres; do
    [ -d "$d" ] && code_dirs+=("$d")
done

tests=$(files tests | count)
code=$(files "${code_dirs[@]}" | grep -E '\.(cpp|h|hpp|c)$' | count)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { if (c > 0) printf "%.2f", t / c; else print "n/a" }')
echo "Test size: $tests non-blank lines of tests against $code of program code (${code_dirs[*]}): ratio $ratio"
