#!/usr/bin/env bash
# Checks the logger's udev rule with udev's own parser (udevadm verify, systemd 253 and later)
# and rule engine: udevadm test runs the rule alone against a mocked logger (umockdev) and must
# give its tty the uaccess tag and ID_MM_DEVICE_IGNORE. A private mount namespace (root) keeps the
# machine's rules and /run/udev out of the run; where none can be made the run is skipped.
#   check-udev-rule.sh RULE_FILE UMOCKDEV_TREE
set -euo pipefail
rule="$1" tree="$2"
skip() { echo "SKIP: $*"; exit 77; }
command -v udevadm >/dev/null || skip "udevadm is not installed (package udev)"
! udevadm verify --help >/dev/null 2>&1 || udevadm verify --resolve-names=never "$rule"
command -v umockdev-run >/dev/null || skip "umockdev-run is not installed (package umockdev)"
[ "$(id -u)" -eq 0 ] || skip "a private mount namespace needs root"
unshare -m true 2>/dev/null || skip "no private mount namespace here (in a chroot, / is no mount point to make private)"

tty=/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/tty/ttyACM0
out="$(unshare -m bash -euc '
    for d in /usr/lib/udev/rules.d /etc/udev/rules.d /run; do mount -t tmpfs none "$d"; done
    cp "$1" /usr/lib/udev/rules.d/
    umockdev-run -d "$2" -- udevadm test --action=add "$3" 2>&1
' check "$(realpath "$rule")" "$(realpath "$tree")" "$tty")"

failed=0
for want in "Reading rules file: /usr/lib/udev/rules.d/$(basename "$rule")" \
    "ID_MM_DEVICE_IGNORE=1" "TAGS=:uaccess:"; do
    grep -qF -- "$want" <<<"$out" || { echo "missing from udevadm test: $want"; failed=1; }
done
if [ "$failed" -ne 0 ] || grep -qiE 'invalid|unknown|error' <<<"$out"; then echo "$out"; exit 1; fi
