#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. Wine may start helper processes of its own
# (services, the device manager) from inside a test; they would inherit CTest's output pipes
# and keep it waiting until they end, so the program writes to a file that is shown after.
out=$(mktemp "${TMPDIR:-/tmp}/marlovex-wine-out.XXXXXX")
wine "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
