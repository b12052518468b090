#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Velmoran Lite, build tools
# included: enough on a minimal system (debootstrap --variant=minbase; scripts/check-fresh.sh
# proves it). Safe to run twice; skips apt when everything is already there.
set -euo pipefail
packages=(
    qt6-base-dev libqt6sql6-sqlite qt6-serialport-dev qt6-multimedia-dev
    libqcustomplot-dev libqcustomplot2.1-qt6 libudev-dev pkg-config cmake ninja-build g++ ccache
    xvfb xauth fonts-dejavu-core fonts-liberation iproute2 util-linux sqlite3 poppler-utils
    udev umockdev libumockdev-dev appstream man-db postgresql-15 libqt6sql6-psql
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
