#!/usr/bin/env bash
# The man pages format without a warning from groff, and kestrelix-sim's page names every
# option its --help lists, so the hand-written page cannot fall behind the program.
#   check-man-pages.sh KESTRELIX_SIM PAGE...
set -euo pipefail
sim="$1"; shift
command -v man >/dev/null || { echo "SKIP: man is not installed (package man-db)"; exit 77; }
failed=0
for page in "$@"; do
    # Debian's checks run man this way; anything on stderr is a fault of the page.
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || { echo "$page: $warnings"; failed=1; }
done
sim_page="$(printf '%s\n' "$@" | grep -E '(^|/)kestrelix-sim\.1$')"
for option in $("$sim" --help | grep -oE '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
    grep -qF -- "${option//-/\\-}" "$sim_page" || { echo "kestrelix-sim.1 does not describe $option"; failed=1; }
done
exit "$failed"
