#!/usr/bin/env bash
# Runs the cross-built test programs under Wine: test-windows.sh BUILD_DIR [JOBS].
# Each run gets a Wine prefix of its own in a temporary folder, deleted afterwards, so that no
# registry or file of an earlier run (or of the user's own prefix) is seen. Headless: console
# programs need no display.
set -euo pipefail
build=${1:?build folder}
jobs=${2:-2}
command -v wine >/dev/null 2>&1 || { echo "wine is not installed (make deps-windows)" >&2; exit 1; }
prefix=$(mktemp -d "${TMPDIR:-/tmp}/marlovex-wine.XXXXXX")
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# The prefix is made once before the tests, not by the first tests at once.
wine cmd /c exit >/dev/null 2>&1 || true
wineserver -w
# A server kept for the whole run spares each test program its start.
wineserver -p
cd "$build"
ctest --output-on-failure -j "$jobs"
