#!/usr/bin/env bash
# Installs what the build and the tests need, only where it is missing.
# Usage: scripts/setup.sh [--m32] [--fuzz] [--mingw]
#   --m32    adds the i386 toolchain and libyaml
#   --fuzz   adds clang and its runtime libraries (libFuzzer, sanitizers)
#   --mingw  adds the MinGW-w64 cross toolchain for 32-bit Windows and Wine
#            (i386) to run its programs
set -euo pipefail

want_m32=0
want_fuzz=0
want_mingw=0
for option in "$@"; do
  case "$option" in
    --m32) want_m32=1 ;;
    --fuzz) want_fuzz=1 ;;
    --mingw) want_mingw=1 ;;
    *) echo "usage: scripts/setup.sh [--m32] [--fuzz] [--mingw]" >&2; exit 2 ;;
  esac
done

packages=(cmake ninja-build g++ binutils rapidjson-dev libyaml-dev libyaml-0-2 googletest
          libgtest-dev libbenchmark-dev libmsgpack-cxx-dev libboost-dev chromium valgrind
          ccache)
# Node and npm run the web front end's checks; a Node from elsewhere will do.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
if [ "$want_m32" = 1 ]; then
  packages+=(g++-multilib libyaml-0-2:i386 qemu-user)
fi
if [ "$want_fuzz" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi
if [ "$want_mingw" = 1 ]; then
  packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386)
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ "${#missing[@]}" = 0 ] && exit 0

sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
if [ "$want_m32$want_mingw" != 00 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
