#!/usr/bin/env bash
# Installs what building and testing Hostlens needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
echo "installing build dependencies from Debian's packages..."
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  nlohmann-json3-dev libcli11-dev \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
  clang clang-format clang-tidy libclang-rt-14-dev \
  python3 >/dev/null
# Wine runs the x86-64 Windows tests; its recommended extras (fonts, desktop
# integration, 32-bit loader) are not needed for that.
apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null
echo "build dependencies installed"
