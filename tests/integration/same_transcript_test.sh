#!/bin/sh
# Plays the same run with the Linux host and library and with the Windows host
# and DLL under Wine, and compares the two transcripts line by line. The memory
# line is left out: its byte counts follow the pointer size. Skipped (77) when
# the Linux host is not built, or Wine cannot run.
# Usage: same_transcript_test.sh LINUX_HOST RUN_WINE WINDOWS_HOST [RUN ARGUMENT...]
set -e
linux_host=$1
run_wine=$2
windows_host=$3
shift 3

if [ ! -x "$linux_host" ]; then
  echo "the Linux host $linux_host is not built (cmake --build --preset default)" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$linux_host" run "$@" >"$work/linux.out"
status=0
"$run_wine" "$windows_host" run "$@" >"$work/windows.out" || status=$?
[ "$status" = 0 ] || exit "$status"
# A transcript cut short, or none at all, must not compare equal to another.
if ! grep -qx 'shutdown: done' "$work/linux.out"; then
  echo "the Linux transcript does not end with the host's shutdown" >&2
  exit 1
fi
grep -v '^memory: ' "$work/linux.out" >"$work/linux"
tr -d '\r' <"$work/windows.out" | grep -v '^memory: ' >"$work/windows"
diff -u "$work/linux" "$work/windows"
