#!/usr/bin/env bash
# Runs each fuzz target of a build tree for a number of seconds, starting from the checked-in
# seed corpus and the corpus earlier runs grew. Usage: tools/fuzz.sh BUILD SECONDS [TARGET...]
set -euo pipefail
build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
fuzz_dir=$source_dir/tests/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/tests/fuzz/fuzz_*; do targets+=("$(basename "$exe" | sed 's/^fuzz_//')"); done
fi
status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  crashes=$build/crash/$t
  mkdir -p "$corpus" "$crashes"
  echo "== $t: ${seconds}s"
  command=("$build/tests/fuzz/fuzz_$t" "$corpus" "$fuzz_dir/corpus/$t"
    -dict="$fuzz_dir/dict/$t.dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
    -max_len=65536 -artifact_prefix="$crashes/" -print_final_stats=1)
  if ! "${command[@]}" 2>"$build/fuzz-$t.log"; then
    echo "   found a failure: $(ls -t "$crashes" | head -1) (log: $build/fuzz-$t.log)"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/fuzz-$t.log" | sed 's/^/   /'
  # Every run's command and final numbers stay in one log, so that runs can be added up.
  {
    echo "== $t, run ended $(date -u '+%Y-%m-%d %H:%M:%S')"
    echo "${command[*]}"
    grep -E "^stat::|^(SUMMARY|==[0-9]+==ERROR)|^artifact_prefix|Test unit written" "$build/fuzz-$t.log"
  } >>"$build/fuzz-runs.log"
done
exit $status
