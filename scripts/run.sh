#!/usr/bin/env bash
# The main job: builds the plugin and the reference host, then lets the host
# load the plugin and run the demo. Extra arguments go to `plugin-host run`.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default --target plugin-host tav_premade_voice
exec build/default/host/plugin-host run "$@"
