#!/usr/bin/env bash
# Every test: installs what is missing, then configures, builds and runs the
# tests of the x86_64 build, the 32-bit build (the boundary's real layout), the
# sanitizer build, short runs of the fuzz targets and the shipping 32-bit
# Windows DLL (its tests under Wine).
# Usage: scripts/test.sh [preset...]   (default: default m32 asan fuzz mingw)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ "${#presets[@]}" = 0 ] && presets=(default m32 asan fuzz mingw)

setup_options=()
printf '%s\n' "${presets[@]}" | grep -qx m32 && setup_options+=(--m32)
printf '%s\n' "${presets[@]}" | grep -qx fuzz && setup_options+=(--fuzz)
printf '%s\n' "${presets[@]}" | grep -qx mingw && setup_options+=(--mingw)
scripts/setup.sh "${setup_options[@]}"

jobs=$(nproc)
# Rebuilds on a machine that keeps a compiler cache go faster; nothing needs it.
# Paths are hashed relative to the checkout (and the working directory left
# out of the debug-info hash), so that a fresh clone in another folder, as CI
# makes, finds what an earlier build of the same sources left in the cache.
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi
for preset in "${presets[@]}"; do
  echo "== $preset"
  started=$SECONDS
  cmake --preset "$preset" >/dev/null
  build_options=()
  test_options=(-j "$jobs")
  if [ "$preset" = mingw ] && ! scripts/run-wine --probe; then
    # Every test but the export-table check would be skipped: build the DLL
    # alone and check it, rather than build test programs nothing can run.
    echo "== mingw: the Wine tests cannot run here; building and checking the DLL only"
    build_options=(--target tav_premade_voice)
    test_options=(-R '^DllExportsTest[.]')
  fi
  cmake --build "build/$preset" -j "$jobs" "${build_options[@]}"
  built=$SECONDS
  ctest --preset "$preset" "${test_options[@]}"
  echo "== $preset: build $((built - started)) s, tests $((SECONDS - built)) s"
done
