#!/usr/bin/env bash
# Copies of 1,000 small files and of one large file (256 MB; COPY_MB changes it) with the script
# command CP, against cp of the same files in the same run, and against cp followed by a flush
# of the copies to disk (sync -d, what CP does for each file before it renames it into place);
# prints the times and the ratios. Usage: bench/copy/run.sh BUILD_DIR
set -euo pipefail
bin=$1/marlovex
mb=${COPY_MB:-256}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/a" "$work/b" "$work/c"
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
cp_plain() { cp --preserve=mode,timestamps "$@"; }
# cp, then each copy's data flushed as CP flushes it.
cp_flushed() {
  local target=${*: -1}
  cp --preserve=mode,timestamps "$@"
  if [ -d "$target" ]; then
    local names=()
    for f in "${@:1:$#-1}"; do names+=("$target/${f##*/}"); done
    sync -d "${names[@]}"
  else
    sync -d "$target"
  fi
}

# Each figure starts from a disk with nothing left to write.
small() { sync; local t0; t0=$(now); "$@"; awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

t_mlx_small=$(small run_mlx "$work/small.txt")
t_cp_small=$(small cp_plain "$work"/src/f*.txt "$work/b/")
t_cps_small=$(small cp_flushed "$work"/src/f*.txt "$work/c/")
t_mlx_big=$(small run_mlx "$work/big.txt")
t_cp_big=$(small cp_plain "$work/src/big.bin" "$work/b/big.bin")
t_cps_big=$(small cp_flushed "$work/src/big.bin" "$work/c/big.bin")

cmp -s "$work/src/big.bin" "$work/a/big.bin" || { echo "the large copy differs" >&2; exit 1; }
[ "$(ls "$work/a" | wc -l)" -eq 1001 ] || { echo "small copies missing" >&2; exit 1; }
awk -v ms="$t_mlx_small" -v cs="$t_cp_small" -v ss="$t_cps_small" \
    -v mb_="$t_mlx_big" -v cb="$t_cp_big" -v sb="$t_cps_big" -v mb="$mb" 'BEGIN {
  printf "== file copies (CP against cp --preserve=mode,timestamps, and against cp + sync -d)\n"
  printf "  %-18s marlovex %6.2f s   cp %6.2f s   ratio %5.2f   cp+sync %6.2f s   ratio %5.2f   goal 1.20\n",
         "1,000 small files", ms, cs, ms / cs, ss, ms / ss
  printf "  %-18s marlovex %6.2f s   cp %6.2f s   ratio %5.2f   cp+sync %6.2f s   ratio %5.2f   goal 1.20\n",
         sprintf("one %d MB file", mb), mb_, cb, mb_ / cb, sb, mb_ / sb
  printf "  (marlovex flushes each copy'\''s data before it renames it into place, so a crash never\n"
  printf "   leaves a half-written target; plain cp leaves the data in the page cache)\n"
}'
