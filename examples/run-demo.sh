#!/usr/bin/env bash
# Runs the example upgrade of examples/demo twice in a fresh folder and shows the log of each
# run: the first upgrades the database, the second finds it upgraded and changes nothing.
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
status=0
for run in 1 2; do
  rm -f "$work/mlxlog.txt"
  echo "== run $run: marlovex --app-dir <demo> --verbose --yes"
  (cd "$work" && "$bin" --app-dir "$work" --registry "$work/registry.reg" --verbose --yes \
    </dev/null) || status=$?
  echo
  echo "== mlxlog.txt of run $run"
  tr -d '\r' < "$work/mlxlog.txt" 2>/dev/null || echo "(no log)"
  echo
done
echo "== exit status $status"
exit "$status"
