#!/usr/bin/env bash
# Runs the example upgrade of examples/demo in a fresh folder and shows its log.
# Usage: examples/run-demo.sh PATH_TO_MARLOVEX
set -euo pipefail
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
demo=$(cd "$(dirname "$0")/demo" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$demo"/. "$work"/
# The registry the demo starts with: "@DEMO@" stands for the demo's folder.
if [ -f "$work/registry.reg" ]; then
  sed -i "s|@DEMO@|$work|g" "$work/registry.reg"
fi
echo "== marlovex --app-dir <demo> --verbose --yes"
status=0
(cd "$work" && "$bin" --app-dir "$work" --registry "$work/registry.reg" --verbose --yes \
  </dev/null) || status=$?
echo
echo "== mlxlog.txt"
cat "$work/mlxlog.txt" 2>/dev/null | tr -d '\r' || echo "(no log)"
echo
echo "== exit status $status"
exit "$status"
