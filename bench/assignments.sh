#!/usr/bin/env bash
# Lines per second of a 1,000,000-line script of "=" lines with placeholders, run by marlovex,
# against the same assignments run by bash, and marlovex's peak memory beside the script's size.
# The best of BENCH_RUNS runs of each side counts (bench/timing.sh).
set -euo pipefail
bin=$1
lines=${LINES_COUNT:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v n="$lines" 'BEGIN {
  print "=,BASE,valore di partenza" > "'"$work"'/MLX.txt"
  print "BASE=\"valore di partenza\"" > "'"$work"'/script.sh"
  for (i = 1; i < n; i++) {
    k = i % 100
    printf "=,V%d,riga %d da {<BASE>} e {<SPAZIO>}fine\n", k, i > "'"$work"'/MLX.txt"
    printf "V%d=\"riga %d da ${BASE} e  fine\"\n", k, i > "'"$work"'/script.sh"
  }
}'

# Both sides run BENCH_RUNS times (default 5), in turns, and each keeps its best run.
export MLX_NOW="2026-01-01 00:00:00"
. "$(dirname "$0")/timing.sh"
for ((run = 0; run < BENCH_RUNS; run++)); do
  measure mlx "$bin" --app-dir "$work" --yes
  measure sh bash "$work/script.sh"
done
report assignments "$lines"

# Peak memory (largest resident set) of one more run, through GNU time when it is there.
size=$(wc -c < "$work/MLX.txt")
if /usr/bin/time -f %M true >/dev/null 2>&1; then
  /usr/bin/time -f %M -o "$work/peak" "$bin" --app-dir "$work" --yes >/dev/null 2>&1 </dev/null
  awk -v kb="$(cat "$work/peak")" -v size="$size" 'BEGIN {
    printf "  peak memory %8.1f MB for a script of %.1f MB (%.2f times its size)\n",
           kb / 1024, size / 1048576, kb * 1024 / size
  }'
else
  echo "  peak memory: not measured (GNU time is missing)"
fi
