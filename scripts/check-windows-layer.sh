#!/usr/bin/env bash
# Compile-checks the Windows USB enumeration layer with the mingw-w64 cross compiler: the Qt-free
# SetupAPI core always, and the Qt adapter too when Qt's headers are installed on this machine.
# Exits non-zero when any of it does not compile cleanly.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cxx="${MINGW_CXX:-x86_64-w64-mingw32-g++}"
if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "check-windows-layer: $cxx not installed" >&2
    exit 1
fi
flags=(-std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$root")

for source in discovery/setupapi_win.cpp discovery/registrydata.cpp; do
    echo "check-windows-layer: $source"
    "$cxx" "${flags[@]}" "$root/$source"
done

qt_include="$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || true)"
if [ -n "$qt_include" ] && [ -d "$qt_include/QtCore" ]; then
    # These are Linux's Qt headers: good enough to check the adapter's own code, which is why
    # they are system headers here (their Windows export attributes are not ours to fix).
    echo "check-windows-layer: discovery/usbenumerator_win.cpp"
    "$cxx" "${flags[@]}" -isystem "$qt_include" -isystem "$qt_include/QtCore" \
        "$root/discovery/usbenumerator_win.cpp"
else
    echo "check-windows-layer: Qt headers not found, Qt adapter not checked"
fi
echo "check-windows-layer: ok"
