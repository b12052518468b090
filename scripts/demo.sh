#!/usr/bin/env bash
# One command: install dependencies, build, and start Velmoran Lite with simulated loggers.
# The simulator listens on loopback only; closing the program stops it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${VELMORAN_BUILD_DIR:-$root/build}"

# Run as the desktop user when started through sudo, so the project and settings land in that home.
run_as=()
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != "root" ]; then
    run_as=(sudo -u "$SUDO_USER" -H --preserve-env=DISPLAY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR,XAUTHORITY)
fi
home_dir="$("${run_as[@]}" sh -c 'echo $HOME')"
demo="$home_dir/VelmoranDemo"
"${run_as[@]}" mkdir -p "$demo/dev"

sim_out="$(mktemp)"
"${run_as[@]}" "$build/sim/kestrelix-sim" --tcp 12 --tcp-base-port 23100 --usb 1 \
    --usb-link-dir "$demo/dev" --drift tcp3:0.4 >"$sim_out" </dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do
    grep -q '^READY' "$sim_out" && break
    sleep 0.1
done
grep -q '^READY' "$sim_out" || { echo "the logger simulator did not start" >&2; cat "$sim_out" >&2; exit 1; }

"${run_as[@]}" "$build/scripts/demoproject/velmoran-demo-project" "$demo/demo.tpc" "$sim_out"
echo "Demo project: $demo/demo.tpc (in the recent list). USB logger: Project > Refresh Devices."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting on a virtual one (xvfb-run)." >&2
    "${run_as[@]}" xvfb-run -a -s "-screen 0 1280x800x24" "$build/app/velmoran-lite"
else
    "${run_as[@]}" "$build/app/velmoran-lite"
fi
