#!/usr/bin/env bash
# Installs what the build and the tests need, only where it is missing.
# Usage: scripts/setup.sh [--m32]   (--m32 adds the i386 toolchain and libyaml)
set -euo pipefail

want_m32=0
[ "${1:-}" = "--m32" ] && want_m32=1

packages=(cmake ninja-build g++ binutils rapidjson-dev libyaml-dev libyaml-0-2 googletest
          libgtest-dev libbenchmark-dev libmsgpack-cxx-dev)
if [ "$want_m32" = 1 ]; then
  packages+=(g++-multilib libyaml-0-2:i386 qemu-user)
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
if [ "$want_m32" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
