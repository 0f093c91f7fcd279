#!/usr/bin/env bash
# Every test: installs what is missing, then configures, builds and runs the
# tests of the x86_64 build, the 32-bit build (the boundary's real layout) and
# the sanitizer build.
# Usage: scripts/test.sh [preset...]   (default: default m32 asan)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ "${#presets[@]}" = 0 ] && presets=(default m32 asan)

if printf '%s\n' "${presets[@]}" | grep -qx m32; then
  scripts/setup.sh --m32
else
  scripts/setup.sh
fi

jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
