#!/usr/bin/env bash
# Validates the AppStream metadata as software centres meet it: installed next to the desktop
# entry it launches, so that a launchable naming no installed desktop file fails too.
#   check-metainfo.sh METAINFO DESKTOP_FILE
set -euo pipefail
command -v appstreamcli >/dev/null || { echo "SKIP: appstreamcli is not installed (package appstream)"; exit 77; }
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
install -Dm644 -t "$tree/usr/share/metainfo" "$1"
install -Dm644 -t "$tree/usr/share/applications" "$2"
# --no-net: the screenshot and home page addresses are not fetched from this machine.
appstreamcli validate-tree --no-net --explain "$tree"
