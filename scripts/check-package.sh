#!/usr/bin/env bash
# Builds the Debian package and checks that it installs and starts on a clean Debian 12:
# a throw-away minimal root made by debootstrap, where apt resolves the package's dependencies.
# Nothing is installed on this machine except debootstrap itself. Needs root and Debian's mirror.
#   scripts/check-package.sh            (build dir: build-package, or $VELMORAN_PACKAGE_BUILD_DIR)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELMORAN_PACKAGE_BUILD_DIR:-$root/build-package}"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
say() { echo "== $*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "check-package.sh needs root (debootstrap, chroot, mount)" >&2
    exit 1
fi
for tool in debootstrap lintian; do
    if ! command -v "$tool" >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$tool"
    fi
done

say "building the package in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DVELMORAN_BUILD_TESTS=OFF -DVELMORAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target velmoran-lite kestrelix-sim -j2
rm -f "$build"/velmoran-lite_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/velmoran-lite_*.deb)"
say "package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends
dpkg-deb --contents "$deb" | awk '{print $6}'

say "lintian"
# Errors fail the check; warnings and notes are shown with their explanation.
lintian --info "$deb" || true
if lintian "$deb" | grep -q '^E:'; then
    echo "FAILED: lintian reports errors" >&2
    exit 1
fi
echo "ok: lintian reports no error"

work="$(mktemp -d /var/tmp/velmoran-package.XXXXXX)"
target="$work/root"
mounts=()
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[$i]}" 2>/dev/null || true
    done
    # Never delete through a mount that is still there.
    if ! grep -q " $work/" /proc/mounts; then
        rm -rf "$work"
    else
        echo "left $work in place: something is still mounted below it" >&2
    fi
}
trap cleanup EXIT

say "debootstrap bookworm (minbase) into $target"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log" >&2
    exit 1
}
# Qt reads /proc (executable path, memory); nothing else from the host is needed.
mount -t proc proc "$target/proc"
mounts+=("$target/proc")

cp "$deb" "$target/tmp/velmoran-lite.deb"
in_root() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

say "apt-get install ./velmoran-lite.deb in the clean root"
in_root apt-get update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    /tmp/velmoran-lite.deb >"$work/apt.log" 2>&1 || {
    tail -30 "$work/apt.log" >&2
    exit 1
}
echo "ok: installed with $(grep -c '^Setting up' "$work/apt.log") packages set up"

failed=0
check() {
    if "$@"; then echo "ok: $*"; else echo "FAILED: $*" >&2; failed=1; fi
}
check test -x "$target/usr/bin/velmoran-lite"
check test -x "$target/usr/bin/kestrelix-sim"
# What Debian users and tools look for beside the programs; removed again by the purge below.
installed=(
    /usr/share/applications/com.velmoran.VelmoranLite.desktop
    /usr/share/metainfo/com.velmoran.VelmoranLite.metainfo.xml
    /usr/share/icons/hicolor/64x64/apps/velmoran-lite.png
    /usr/share/man/man1/velmoran-lite.1.gz
    /usr/share/man/man1/kestrelix-sim.1.gz
    /usr/lib/udev/rules.d/60-velmoran-lite.rules
    /usr/share/doc/velmoran-lite/copyright
    /usr/share/doc/velmoran-lite/changelog.Debian.gz
    /usr/lib/systemd/system/velmoran-recorder@.service
    /usr/lib/sysusers.d/velmoran-lite.conf
)
for file in "${installed[@]}"; do
    check test -f "$target$file"
done
for page in velmoran-lite kestrelix-sim; do
    check in_root sh -c "zcat /usr/share/man/man1/$page.1.gz | grep -qi '^\.TH $page 1 '"
done
# Plugins that no library dependency pulls in: the project database and a platform to draw on.
check test -f "$target/usr/lib/x86_64-linux-gnu/qt6/plugins/sqldrivers/libqsqlite.so"
check test -f "$target/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so"
check test -f "$target/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqoffscreen.so"

say "systemd-analyze verify velmoran-recorder@.service"
# The clean root has no systemd: the host's checks the installed unit, its program path pointing
# into the root (a unit that does not parse cleanly prints what is wrong).
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$work/units"
    sed "s#/usr/bin/velmoran-lite#$target/usr/bin/velmoran-lite#" \
        "$target/usr/lib/systemd/system/velmoran-recorder@.service" \
        >"$work/units/velmoran-recorder@.service"
    if systemd-analyze verify --man=no "$work/units/velmoran-recorder@.service" \
        >"$work/verify.log" 2>&1 && [ ! -s "$work/verify.log" ]; then
        echo "ok: systemd-analyze verify"
    else
        echo "FAILED: systemd-analyze verify" >&2
        cat "$work/verify.log" >&2
        failed=1
    fi
else
    echo "skipped: no systemd-analyze on this machine"
fi
check in_root sh -c "grep -q '^ExecStart=/usr/bin/velmoran-lite --headless %f' \
    /usr/lib/systemd/system/velmoran-recorder@.service"

say "velmoran-lite --headless on a missing project"
in_root velmoran-lite --headless /tmp/none.tpc >"$work/headless.log" 2>&1 && rc=0 || rc=$?
if [ "$rc" -eq 2 ] && grep -q 'does not exist' "$work/headless.log"; then
    echo "ok: exit code 2 without a display"
else
    echo "FAILED: velmoran-lite --headless exited with $rc" >&2
    cat "$work/headless.log" >&2
    failed=1
fi

say "kestrelix-sim --help"
if in_root kestrelix-sim --help >"$work/sim-help.txt" 2>&1 && grep -q -- '--discovery' "$work/sim-help.txt"; then
    echo "ok: kestrelix-sim --help ($(wc -l <"$work/sim-help.txt") lines)"
else
    echo "FAILED: kestrelix-sim --help" >&2
    cat "$work/sim-help.txt" >&2
    failed=1
fi

say "velmoran-lite, offscreen, for 5 s"
# Its own network namespace: whatever the program does, nothing leaves this machine.
mkdir -p "$target/tmp/home"
unshare -n chroot "$target" env -i PATH=/usr/bin:/bin HOME=/tmp/home LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen velmoran-lite >"$work/velmoran.log" 2>&1 &
pid=$!
sleep 5
if kill -0 "$pid" 2>/dev/null; then
    echo "ok: velmoran-lite is still running after 5 s"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
else
    wait "$pid" && rc=0 || rc=$?
    echo "FAILED: velmoran-lite exited with status $rc within 5 s" >&2
    tail -20 "$work/velmoran.log" >&2
    failed=1
fi
if grep -qiE 'could not (load|find) the qt platform plugin|driver not loaded|cannot open shared object' \
    "$work/velmoran.log"; then
    echo "FAILED: velmoran-lite reported a missing part:" >&2
    grep -iE 'plugin|driver|shared object' "$work/velmoran.log" >&2
    failed=1
fi

say "apt-get purge velmoran-lite in the clean root"
if in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q velmoran-lite >"$work/purge.log" 2>&1; then
    echo "ok: purged"
else
    echo "FAILED: apt-get purge velmoran-lite" >&2
    tail -20 "$work/purge.log" >&2
    failed=1
fi
for file in /usr/bin/velmoran-lite /usr/bin/kestrelix-sim "${installed[@]}"; do
    check test ! -e "$target$file"
done

if [ "$failed" -ne 0 ]; then
    say "package check FAILED"
    exit 1
fi
say "package check passed"
