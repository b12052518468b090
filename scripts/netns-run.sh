#!/usr/bin/env bash
# Runs a command inside a fresh, private network namespace with loopback up and one
# veth pair (v0 10.99.0.1/24, v1 unaddressed), so that broadcasts never leave this machine.
# Exits 77 (skipped) where no namespace can be made, e.g. when not run as root.
set -u
if [ "${VELMORAN_IN_NETNS:-}" != "1" ]; then
    if ! unshare -n true 2>/dev/null; then
        echo "SKIP: cannot create a network namespace here (needs root): $*" >&2
        exit 77
    fi
    exec unshare -n env VELMORAN_IN_NETNS=1 "$0" "$@"
fi
ip link set lo up || exit 77
ip link add v0 type veth peer name v1 || exit 77
ip addr add 10.99.0.1/24 dev v0
ip link set v0 up
ip link set v1 up
exec "$@"
