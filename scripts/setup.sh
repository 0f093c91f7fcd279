#!/usr/bin/env bash
# Installs what the build and the tests need, only where it is missing.
# Usage: scripts/setup.sh [--m32] [--fuzz] [--mingw]
#   --m32    adds the i386 toolchain and libyaml
#   --fuzz   adds clang and its runtime libraries (libFuzzer, sanitizers)
#   --mingw  adds the MinGW-w64 cross toolchain for 32-bit Windows and Wine
#            (i386) to run its programs; where the kernel cannot run 32-bit
#            code (or KELP_WINE_EMULATE=1), also the backports' qemu-user that
#            scripts/run-wine runs Wine through
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

# A mirror in the middle of a sync fails an index now and then: try again a
# little later, and go on with the indexes we have if it keeps failing (the
# install below then says plainly what it could not find).
update_indexes() {
  local attempt
  for attempt in 1 2 3; do
    $sudo apt-get update -q && return 0
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    sleep $((attempt * 10))
  done
  echo "apt-get update keeps failing; installing from the indexes at hand" >&2
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
if [ "${#missing[@]}" != 0 ]; then
  if [ "$want_m32$want_mingw" != 00 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  echo "Installing: ${missing[*]}"
  update_indexes
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine under emulation needs a qemu-i386 of 10.x (the stable suite's 7.2 runs
# the m32 tests but not Wine): it comes from the backports suite, which is
# added as an apt source where it is missing. The newer qemu-user serves
# scripts/run-i386 as well. Only the package is installed, never its binfmt
# registrations (a recommendation): scripts/run-wine makes its own, privately.
# Asked only once Wine's i386 libraries are in: their loader is the test.
[ "$want_mingw" = 1 ] || exit 0
[ "${KELP_WINE_EMULATE:-0}" = 1 ] || ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 || exit 0
qemu_version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
installed qemu-user && dpkg --compare-versions "$qemu_version" ge 1:10~ && exit 0
backports="$(. /etc/os-release && echo "$VERSION_CODENAME")-backports"
if ! grep -rqsE "^[^#]*[[:space:]]$backports([[:space:]]|\$)" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "Adding the apt source $backports"
  printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: $backports" \
      "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    $sudo tee "/etc/apt/sources.list.d/$backports.sources" >/dev/null
fi
echo "Installing: qemu-user from $backports"
update_indexes
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
  -t "$backports" qemu-user
