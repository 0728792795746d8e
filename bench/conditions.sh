#!/usr/bin/env bash
# Lines per second of a 1,000,000-line script of condition blocks on a variable (a true block
# with an assignment, then a false block that is skipped), run by marlovex, against the same
# if blocks run by bash. The best of BENCH_RUNS runs of each side counts (bench/timing.sh).
set -euo pipefail
bin=$1
lines=${LINES_COUNT:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each round is six lines in both scripts; the first lines set the switches and the variable.
awk -v n="$lines" 'BEGIN {
  mlx = "'"$work"'/MLX.txt"; sh = "'"$work"'/script.sh"
  print "ASKN" > mlx; print "MSGN" > mlx; print "=,N,5" > mlx
  print ":" > sh; print ":" > sh; print "N=5" > sh
  for (i = 3; i + 6 <= n; i += 6) {
    print "^{<N>}==5^" > mlx;   print "if [ \"$N\" = 5 ]; then" > sh
    printf "=,A,giro %d\n", i > mlx; printf "A=\"giro %d\"\n", i > sh
    print "^^" > mlx;           print "fi" > sh
    print "^{<N>}==6^" > mlx;   print "if [ \"$N\" = 6 ]; then" > sh
    print "=,B,mai" > mlx;      print "B=mai" > sh
    print "^^" > mlx;           print "fi" > sh
  }
}'
counted=$(wc -l < "$work/MLX.txt")

# Both sides run BENCH_RUNS times (default 5), in turns, and each keeps its best run.
export MLX_NOW="2026-01-01 00:00:00"
. "$(dirname "$0")/timing.sh"
for ((run = 0; run < BENCH_RUNS; run++)); do
  measure mlx "$bin" --app-dir "$work" --yes
  measure sh bash "$work/script.sh"
done
report "condition blocks" "$counted"
