#!/usr/bin/env bash
# The main job: builds the plugin and the reference host, then lets the host
# play a voice session with the plugin and its stand-ins and print the
# transcript. Extra arguments go to `plugin-host run` (a scenario file,
# --verbose).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default --target plugin-host tav_premade_voice
status=0
build/default/host/plugin-host run "$@" || status=$?
cat <<'TEXT'

To use the voice service by hand, start the server and open the panel:
  build/default/host/plugin-host serve        then open http://127.0.0.1:8765/
Scenarios to play:  build/default/host/plugin-host run examples/scenarios/party-night.yaml
TEXT
exit "$status"
