#!/usr/bin/env bash
# Installs the SDK into a fresh prefix, builds the hello example plugin from
# the copy of its sources in that prefix as a project of its own that finds
# the SDK only through find_package(KelpSdk), and loads and calls it with the
# installed plugin-host.
#
# Usage: check_package.sh BUILD_DIR WORK_DIR
# Environment: KELP_CXX, KELP_CXX_FLAGS, KELP_LINKER_FLAGS, KELP_BUILD_TYPE,
# KELP_LAUNCHER (compiler launcher), KELP_EMULATOR (runs the installed
# plugin-host; for the 32-bit build).
set -euo pipefail

build_dir=$1
work=$2
prefix=$work/prefix

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"

echo "== install into $prefix"
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log"

echo "== installed headers"
include=$prefix/include/kelp
[ -f "$include/sdk/plugin/abi.h" ] || fail "abi.h is not installed"
# The SDK's own machinery stays out, and with it libyaml's header.
for internal in sdk/codecs/yaml_library.h sdk/rest/argument_binder.h sdk/binding/memory.h; do
  [ ! -e "$include/$internal" ] || fail "internal header $internal is installed"
done
headers=$(cd "$include" && find sdk -name '*.h' | sort)
for header in $headers; do
  # Every header an installed header includes is installed too.
  for included in $(sed -n 's/^#include "\(sdk\/[^"]*\)".*/\1/p' "$include/$header"); do
    [ -f "$include/$included" ] || fail "$header includes $included, which is not installed"
  done
  if grep -q '^#include <yaml.h>' "$include/$header"; then fail "$header includes yaml.h"; fi
done

echo "== find_package versions"
mkdir -p "$work/versions"
cat >"$work/versions/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(kelp_sdk_versions LANGUAGES CXX)
find_package(KelpSdk 18.0 REQUIRED)
if(NOT TARGET KelpSdk::sdk OR NOT KelpSdk_VERSION VERSION_EQUAL 18.0.0)
  message(FATAL_ERROR "KelpSdk 18 without KelpSdk::sdk or with version ${KelpSdk_VERSION}")
endif()
foreach(other 17 19)
  find_package(KelpSdk ${other} QUIET)
  if(KelpSdk_FOUND)
    message(FATAL_ERROR "KelpSdk 18 was accepted for version ${other}")
  endif()
endforeach()
if(NOT EXISTS "${KelpSdk_PLUGIN_HOST}")
  message(FATAL_ERROR "KelpSdk_PLUGIN_HOST names no file: ${KelpSdk_PLUGIN_HOST}")
endif()
CMAKE

configure_args=(-G Ninja "-DCMAKE_PREFIX_PATH=$prefix"
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF "-DCMAKE_BUILD_TYPE=${KELP_BUILD_TYPE:-RelWithDebInfo}"
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
[ -n "${KELP_CXX:-}" ] && configure_args+=("-DCMAKE_CXX_COMPILER=$KELP_CXX")
[ -n "${KELP_CXX_FLAGS:-}" ] && configure_args+=("-DCMAKE_CXX_FLAGS=$KELP_CXX_FLAGS")
[ -n "${KELP_LINKER_FLAGS:-}" ] && configure_args+=("-DCMAKE_SHARED_LINKER_FLAGS=$KELP_LINKER_FLAGS")
[ -n "${KELP_LAUNCHER:-}" ] && configure_args+=("-DCMAKE_CXX_COMPILER_LAUNCHER=$KELP_LAUNCHER")

cmake -S "$work/versions" -B "$work/versions/build" "${configure_args[@]}" >"$work/versions.log" 2>&1 ||
  { cat "$work/versions.log"; fail "find_package versions"; }

[ -f "$prefix/share/kelp/panel/index.html" ] || fail "the web panel of plugin-host serve is not installed"

echo "== build the example from the sources in the prefix"
cp -R "$prefix/share/kelp/examples/plugins/hello" "$work/hello"
cmake -S "$work/hello" -B "$work/hello-build" "${configure_args[@]}" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "configure of the example"; }
found=$(sed -n 's/^KelpSdk_DIR:PATH=//p' "$work/hello-build/CMakeCache.txt")
[ "$found" = "$prefix/lib/cmake/KelpSdk" ] || fail "KelpSdk found at '$found', not in the prefix"
cmake --build "$work/hello-build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
library=$work/hello-build/libhello.so
[ -f "$library" ] || fail "no $library"

exported=$(nm -D --defined-only "$library" | awk '$2 == "T" || $2 == "D" || $2 == "B" {print $3}')
[ "$exported" = "load_hello" ] || fail "the library exports: $exported"

echo "== load and call it with the installed plugin-host"
host=(${KELP_EMULATOR:-} "$prefix/bin/plugin-host")
set +e
"${host[@]}" run --library "$library" \
  --call GET /hello/v1/greeting \
  --call PUT /hello/v1/greeting --json '{"salutation":"Howdy"}' \
  --call PUT /hello/v1/greeting --json '{"salutation":""}' \
  --call PUT /hello/v1/greeting --json '{"salutation":' \
  --advance 12 \
  --call GET /hello/v1/greeting >"$work/run.txt" 2>&1
status=$?
set -e
cat "$work/run.txt"
[ "$status" = 0 ] || fail "plugin-host exited with $status"

expected=(
  'plugin: hello (plugin API 18.0.0)'
  '  GetHelloV1Greeting  (GET /hello/v1/greeting)'
  '  PutHelloV1Greeting  (PUT /hello/v1/greeting)'
  'init: started'
  '  ok, status 0: {"heartbeats":0,"name":"friend","salutation":"Hello","text":"Hello, friend!"}'
  '  ok, status 0: {"heartbeats":0,"name":"friend","salutation":"Howdy","text":"Howdy, friend!"}'
  '  event OnJsonApiEvent_hello_v1_greeting {"data":{"heartbeats":0,"name":"friend","salutation":"Howdy","text":"Howdy, friend!"},"eventType":"Update","uri":"/hello/v1/greeting"}'
  '  event OnJsonApiEvent {"data":{"heartbeats":0,"name":"friend","salutation":"Howdy","text":"Howdy, friend!"},"eventType":"Update","uri":"/hello/v1/greeting"}'
  '  failed, status 400: salutation must be 1 to 64 bytes of printable text'
  '  ok, status 0: {"heartbeats":2,"name":"friend","salutation":"Howdy","text":"Howdy, friend!"}'
  "  [ALWAYS] hello: salutation is now 'Howdy'"
  'shutdown: done'
)
for line in "${expected[@]}"; do
  grep -qxF -- "$line" "$work/run.txt" || fail "no line: $line"
done
# The unreadable body is refused before the handler runs.
[ "$(grep -c '^  failed, status' "$work/run.txt")" = 2 ] || fail "expected two refused PUTs"
[ "$(grep -c '^  event ' "$work/run.txt")" = 2 ] || fail "expected one publication on two channels"
if grep -q 'host problem\|problem:' "$work/run.txt"; then fail "the host saw problems"; fi
echo "OK"
