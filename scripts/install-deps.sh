#!/usr/bin/env bash
# Installs what building and testing Hostlens needs on Debian 12. Run it as root (a
# fresh container, which has no sudo) or as a user who may use sudo.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

if [ "$(id -u)" -eq 0 ]; then
    as_root() { "$@"; }
elif command -v sudo >/dev/null 2>&1; then
    # sudo resets the environment; the front end setting must reach apt-get.
    as_root() { sudo DEBIAN_FRONTEND=noninteractive "$@"; }
else
    echo "$0: installing packages needs root: run it as root, or install sudo" >&2
    exit 1
fi

echo "installing build dependencies from Debian's packages..."
as_root apt-get update -qq
as_root apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  nlohmann-json3-dev libcli11-dev \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
  clang clang-format clang-tidy libclang-rt-14-dev \
  python3 >/dev/null
# Wine runs the x86-64 Windows tests; its recommended extras (fonts, desktop
# integration, 32-bit loader) are not needed for that.
as_root apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null
echo "build dependencies installed"
