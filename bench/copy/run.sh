#!/usr/bin/env bash
# Copies of 1,000 small files and of one large file (256 MB; COPY_MB changes it) with the script
# command CP, against cp of the same files in the same run; prints the times and the ratio.
# Usage: bench/copy/run.sh BUILD_DIR
set -euo pipefail
bin=$1/marlovex
mb=${COPY_MB:-256}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/a" "$work/b"
for i in $(seq 1 1000); do printf 'file %d\n%0200d\n' "$i" "$i" > "$work/src/f$i.txt"; done
head -c $((mb * 1024 * 1024)) /dev/urandom > "$work/src/big.bin"

{
  echo "ASKN"
  echo "MSGN"
  for i in $(seq 1 1000); do echo "CP,$work/src/f$i.txt,$work/a/f$i.txt"; done
} > "$work/small.txt"
printf 'ASKN\nMSGN\nCP,%s,%s\n' "$work/src/big.bin" "$work/a/big.bin" > "$work/big.txt"

now() { date +%s.%N; }
run_mlx() { "$bin" --app-dir "$work" --registry "$work/r.reg" --yes "$1" >/dev/null 2>&1 </dev/null; }
sync
t0=$(now); run_mlx "$work/small.txt"; t1=$(now)
cp --preserve=mode,timestamps "$work"/src/f*.txt "$work/b/"; t2=$(now)
sync
t3=$(now); run_mlx "$work/big.txt"; t4=$(now)
cp --preserve=mode,timestamps "$work/src/big.bin" "$work/b/big.bin"; t5=$(now)
cmp -s "$work/src/big.bin" "$work/a/big.bin" || { echo "the large copy differs" >&2; exit 1; }
[ "$(ls "$work/a" | wc -l)" -eq 1001 ] || { echo "small copies missing" >&2; exit 1; }
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v e="$t4" -v f="$t5" -v mb="$mb" 'BEGIN {
  printf "== file copies (CP against cp --preserve=mode,timestamps)\n"
  printf "  1,000 small files   marlovex %6.2f s   cp %6.2f s   ratio %5.2f   goal 1.20\n", b - a, c - b, (b - a) / (c - b)
  printf "  one %d MB file      marlovex %6.2f s   cp %6.2f s   ratio %5.2f   goal 1.20\n", mb, e - d, f - e, (e - d) / (f - e)
  printf "  (marlovex flushes each copy to disk before it renames it into place; cp does not)\n"
}'
