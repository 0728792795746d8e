#!/usr/bin/env bash
# Lines per second of a 1,000,000-line script of condition blocks on a variable (a true block
# with an assignment, then a false block that is skipped), run by marlovex, against the same
# if blocks run by bash.
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

now() { date +%s.%N; }
t0=$(now)
MLX_NOW="2026-01-01 00:00:00" "$bin" --app-dir "$work" --yes >/dev/null 2>&1 </dev/null
t1=$(now)
bash "$work/script.sh"
t2=$(now)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$counted" 'BEGIN {
  m = n / (b - a); s = n / (c - b)
  printf "condition blocks: %d lines\n", n
  printf "  marlovex  %10.0f lines/s  (%.2f s)\n", m, b - a
  printf "  bash      %10.0f lines/s  (%.2f s)\n", s, c - b
  printf "  ratio     %10.2f (marlovex / bash)\n", m / s
}'
