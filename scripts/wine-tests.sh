#!/usr/bin/env bash
# Runs the Windows x86-64 test suite under Wine, headless, on a build of the mingw64
# preset (cmake --preset mingw64 && cmake --build --preset mingw64):
#   scripts/wine-tests.sh [BUILD_DIR] [CTEST_ARGUMENTS...]
# It creates a fresh Wine prefix inside the build tree (reporting Windows 10), keeps
# one Wine server with Wine's services running for the whole suite, so that each test
# program starts warm, runs ctest, and stops the server again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/mingw64
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    build=$(cd "$1" && pwd)
    shift
fi
if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "no mingw64 build with tests in $build: run cmake --preset mingw64 and cmake --build --preset mingw64" >&2
    exit 2
fi

# Debian installs Wine's 64-bit programs outside PATH; other systems put them on it.
find_wine_program() {
    if [ -x "/usr/lib/wine/$1" ]; then
        echo "/usr/lib/wine/$1"
    elif command -v "$1" >/dev/null 2>&1; then
        command -v "$1"
    else
        command -v "$2"
    fi
}
wine=$(find_wine_program wine64 wine)
wineserver=$(find_wine_program wineserver64 wineserver)

export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# The server is stopped by asking it (-k), never by a signal: Wine's services would
# outlive it and could hold ctest's output pipe open for good.
stop_wine() {
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
}

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

# A server left over from an interrupted run would keep the old prefix alive.
if [ -d "$WINEPREFIX" ]; then stop_wine; fi
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
trap stop_wine EXIT

start=$(seconds)
"$wineserver" -p
# The first program started in an empty prefix has Wine set the prefix up (wineboot)
# and start its services before it runs. An explicit `wineboot -i` would boot the
# prefix a second time, leaving two service managers behind, and COM calls of the
# tests would then stall for seconds at a time.
"$wine" cmd.exe /c exit >/dev/null 2>&1
# A new prefix reports Windows 7; the test programs declare Windows 10 support.
"$wine" winecfg.exe /v win10 >/dev/null 2>&1
echo "Wine prefix ready in $(elapsed "$start"): $WINEPREFIX ($("$wine" --version 2>/dev/null || echo Wine))"

start=$(seconds)
status=0
ctest --test-dir "$build" --output-on-failure --timeout 120 -j "${HOSTLENS_JOBS:-2}" "$@" || status=$?
echo "Wine suite ran in $(elapsed "$start")"
exit $status
