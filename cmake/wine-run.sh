#!/bin/sh
# Runs a Windows x86-64 program under Wine, headless, in the given prefix:
#   wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# CTest starts every Windows test program through this script (the mingw64 toolchain
# names it as the cross-compiling emulator). scripts/wine-tests.sh creates the prefix
# and keeps a Wine server running around the suite; without one, each program pays
# Wine's cold start, and Wine creates the prefix on first use.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX PROGRAM [ARGUMENTS...]" >&2
    exit 2
fi
# Wine takes only an absolute prefix; a relative one is taken from here.
case $1 in
    /*) WINEPREFIX=$1 ;;
    *) WINEPREFIX=$(pwd)/$1 ;;
esac
shift
export WINEPREFIX
# Wine's own diagnostics would mix with the program's output.
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY

# Debian installs the 64-bit loader outside PATH; other systems name it wine64 or wine.
if [ -n "${WINE64:-}" ]; then
    wine=$WINE64
elif [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
    wine=wine64
else
    wine=wine
fi
exec "$wine" "$@"
