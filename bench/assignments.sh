#!/usr/bin/env bash
# Lines per second of a 1,000,000-line script of "=" lines with placeholders, run by marlovex,
# against the same assignments run by bash, and marlovex's peak memory beside the script's size.
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

# Peak memory (largest resident set) through GNU time when it is there.
measure=()
if /usr/bin/time -f %M true >/dev/null 2>&1; then
  measure=(/usr/bin/time -f %M -o "$work/peak")
fi

now() { date +%s.%N; }
t0=$(now)
MLX_NOW="2026-01-01 00:00:00" "${measure[@]}" "$bin" --app-dir "$work" --yes >/dev/null 2>&1 </dev/null
t1=$(now)
bash "$work/script.sh"
t2=$(now)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$lines" 'BEGIN {
  m = n / (b - a); s = n / (c - b)
  printf "assignments: %d lines\n", n
  printf "  marlovex  %10.0f lines/s  (%.2f s)\n", m, b - a
  printf "  bash      %10.0f lines/s  (%.2f s)\n", s, c - b
  printf "  ratio     %10.2f (marlovex / bash)\n", m / s
}'
size=$(wc -c < "$work/MLX.txt")
if [ -s "$work/peak" ]; then
  awk -v kb="$(cat "$work/peak")" -v size="$size" 'BEGIN {
    printf "  peak memory %8.1f MB for a script of %.1f MB (%.2f times its size)\n",
           kb / 1024, size / 1048576, kb * 1024 / size
  }'
else
  echo "  peak memory: not measured (GNU time is missing)"
fi
