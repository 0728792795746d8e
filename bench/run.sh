#!/usr/bin/env bash
# Prints the benchmark figures, each side by side with a reference tool run on the same input.
# Usage: bench/run.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
bin=$build/marlovex
[ -x "$bin" ] || { echo "build first: make build" >&2; exit 1; }
echo "== script lines"
"$here/assignments.sh" "$bin"
"$here/conditions.sh" "$bin"
if [ -x "$build/bench/db/db_bench" ]; then
  echo "== data-access layer"
  "$build/bench/db/db_bench"
fi
for extra in "$here"/*/run.sh; do
  [ -x "$extra" ] && "$extra" "$build"
done
exit 0
