#!/usr/bin/env bash
# Runs one check of the host's web front end with Node:
#   tests/web/run.sh openapi PLUGIN_HOST WORK_DIR
#   tests/web/run.sh panel PLUGIN_HOST WORK_DIR
# The npm packages of package.json are installed once into WORK_DIR.
set -euo pipefail
check=$1
plugin_host=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$work"
if ! cmp -s "$here/package.json" "$work/package.json" || [ ! -d "$work/node_modules" ]; then
  cp "$here/package.json" "$work/package.json"
  (cd "$work" && npm install --no-audit --no-fund --loglevel=error)
fi

case "$check" in
  openapi)
    "$plugin_host" call GET /openapi.json | tail -n +2 > "$work/openapi.json"
    cp "$here/validate-openapi.mjs" "$work/"
    node "$work/validate-openapi.mjs" "$work/openapi.json"
    ;;
  panel)
    cp "$here/panel-test.mjs" "$work/"
    node "$work/panel-test.mjs" "$plugin_host" "$work/panel.png"
    ;;
  *)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
