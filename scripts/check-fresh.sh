#!/usr/bin/env bash
# Proves the README's two commands on a fresh machine: makes a throw-away minimal Debian 12 root
# (debootstrap --variant=minbase bookworm), puts a clean clone of this repository's HEAD in it,
# runs the README's test command there exactly as written, as root, then its run command for
# 30 s in a private network namespace on a virtual display, and reports pass or fail with the
# ctest summary. Needs root, git and Debian's mirror on this machine; installs only debootstrap.
# Everything it makes goes away at the end: every mount lives in a private mount namespace, every
# process in a private PID namespace, and the root in one folder that is removed.
#   scripts/check-fresh.sh          ($VELMORAN_FRESH_LOGS=DIR keeps the logs; $DEBIAN_MIRROR)
# It takes a while (a whole build without ccache): start it detached, e.g. with setsid, so that
# no signal meant for your shell's job reaches the build inside.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
run_seconds=30
say() { echo "== $(date -u +%H:%M:%S) $*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "check-fresh.sh needs root (debootstrap, chroot, namespaces)" >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi

# The commands as the README gives them for root: the lines of its shell blocks that start
# with scripts/test.sh and scripts/demo.sh, without their comments.
readme_command() {
    local command
    command="$(sed -n "s|^\\(scripts/$1\\.sh[^#]*\\).*|\\1|p" "$root/README.md" | head -1)"
    command="${command%"${command##*[![:space:]]}"}"
    if [ -z "$command" ]; then
        echo "the README has no line starting with scripts/$1.sh" >&2
        exit 1
    fi
    echo "$command"
}
test_command="$(readme_command test)"
run_command="$(readme_command demo)"

head_commit="$(git -C "$root" rev-parse HEAD)"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "note: uncommitted changes are not checked, only HEAD ${head_commit:0:12}" >&2
fi

work="$(mktemp -d /var/tmp/velmoran-fresh.XXXXXX)"
target="$work/root"
run_pid=""
cleanup() {
    local status=$?
    if [ -n "$run_pid" ]; then
        kill -KILL "$run_pid" 2>/dev/null || true
        wait "$run_pid" 2>/dev/null || true
    fi
    if [ -n "${VELMORAN_FRESH_LOGS:-}" ]; then
        mkdir -p "$VELMORAN_FRESH_LOGS"
        cp "$work"/*.log "$VELMORAN_FRESH_LOGS"/ 2>/dev/null || true
    fi
    # The mounts were private to namespaces that are gone; never delete through one that is not.
    if grep -q " $work/" /proc/mounts; then
        echo "left $work in place: something is still mounted below it" >&2
    else
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a shell command in the root as a fresh root login would: its own mount and PID namespaces
# (proc, sysfs, ptys and shared memory mounted for it alone), all its processes killed when it
# ends. With "netns" first it also gets a private network namespace with only loopback up.
# It replaces the calling shell: call it in a subshell.
in_root() {
    local net=()
    if [ "$1" = netns ]; then
        net=(--net)
        shift
    fi
    exec unshare --mount --propagation private --pid --fork --kill-child "${net[@]}" \
        bash -c '
            set -e
            target="$1"
            [ "$2" = netns ] && ip link set lo up
            mount -t proc proc "$target/proc"
            mount -t sysfs -o ro sysfs "$target/sys"
            mkdir -p "$target/dev/pts" "$target/dev/shm"
            mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$target/dev/pts"
            mount -t tmpfs -o mode=1777 tmpfs "$target/dev/shm"
            exec chroot "$target" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
                HOME=/root LANG=C.UTF-8 TERM=dumb bash -c "$3"
        ' in-root "$target" "${net[*]:+netns}" "$1"
}

say "debootstrap --variant=minbase bookworm into $target"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log" >&2
    exit 1
}
# As in any chroot: packages set up here do not start services.
printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
chmod 755 "$target/usr/sbin/policy-rc.d"
for tool in make ninja sudo git ip; do
    if chroot "$target" sh -c "command -v $tool" >/dev/null; then
        echo "note: the minimal root already has $tool"
    fi
done

say "clean clone of HEAD ${head_commit:0:12} into /root/velmoran-lite"
git clone -q --no-hardlinks "$root" "$target/root/velmoran-lite"
git -C "$target/root/velmoran-lite" checkout -q --detach "$head_commit"

say "test command, as root in /root/velmoran-lite: $test_command"
test_status=0
(in_root "cd /root/velmoran-lite && $test_command") >"$work/test.log" 2>&1 || test_status=$?
echo "exit status $test_status"
summary="$(grep -E 'tests passed|tests failed out of|Total Test time|\((Failed|Skipped|Not Run|Timeout|SEGFAULT|Subprocess aborted)\)|\*\*\*(Failed|Skipped|Not Run|Timeout)' \
    "$work/test.log" || true)"
if [ -n "$summary" ]; then
    echo "$summary"
else
    echo "no ctest summary; the end of its output:"
    tail -30 "$work/test.log"
fi

say "run command for ${run_seconds} s, private network namespace, no display: $run_command"
run_ok=0
if [ "$test_status" -eq 0 ] || [ -x "$target/root/velmoran-lite/build/app/velmoran-lite" ]; then
    (in_root netns "cd /root/velmoran-lite && $run_command") >"$work/run.log" 2>&1 &
    run_pid=$!
    sleep "$run_seconds"
    if kill -0 "$run_pid" 2>/dev/null; then
        run_ok=1
        # unshare ignores TERM while it waits; its end kills everything in the namespace.
        kill -KILL "$run_pid" 2>/dev/null || true
    fi
    wait "$run_pid" 2>/dev/null || true
    run_pid=""
    # Still running means the program is up only once the demo has started it.
    if ! grep -q '^Demo project:' "$work/run.log"; then
        run_ok=0
    fi
    if [ "$run_ok" -eq 1 ] && grep -qiE 'could not (load|find|connect)|cannot open shared object|driver not loaded|did not start' "$work/run.log"; then
        run_ok=0
    fi
    if [ "$run_ok" -eq 1 ]; then
        echo "still running after ${run_seconds} s; $(wc -l <"$work/run.log") lines on the terminal:"
        sed 's/^/  | /' "$work/run.log" | head -15
    else
        echo "it did not keep running for ${run_seconds} s; its output:"
        tail -30 "$work/run.log"
    fi
else
    echo "not started: the test command failed before the program was built"
fi

if [ "$test_status" -eq 0 ] && [ "$run_ok" -eq 1 ]; then
    say "fresh machine check PASSED at ${head_commit:0:12}"
    exit 0
fi
say "fresh machine check FAILED at ${head_commit:0:12} (test command: status $test_status, run command: $([ "$run_ok" -eq 1 ] && echo ok || echo failed))"
exit 1
