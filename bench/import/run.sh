#!/usr/bin/env bash
# Import of 1,000,000 rows (an integer, a quoted text, a real, an empty value) through a "<"
# line of a script, side by side with sqlite3's .import of the same rows as CSV. Prints rows
# per second of both, their ratio, and the peak memory of the script's run. The script's import
# runs a second time with the wait window shown on a pseudo-terminal (its progress drawn as it
# goes), to show what the window costs.
# Usage: bench/import/run.sh [BUILD_DIR]   (ROWS=n to change the number of rows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
bin=$(cd "$build" && pwd)/marlovex
rows=${ROWS:-1000000}
[ -x "$bin" ] || { echo "build first: make build" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed for the comparison" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for the peak memory" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

awk -v n="$rows" 'BEGIN {
  for (i = 1; i <= n; i++) {
    printf "%d;'"'"'riga numero %d'"'"';%.2f;\r\n", i, i, i * 0.25 > "righe.txt"
    printf "%d,riga numero %d,%.2f,\n", i, i, i * 0.25 > "righe.csv"
  }
}'

# The table, made by a first run that is not timed.
printf '%s\r\n' "MSGN" "+DB,import.mdb" "*import.mdb*" "[Righe]" ">" "+,N,LONG" "+,T,TEXT(50)" \
  "+,R,DOUBLE" "+,V,LONG" > crea.txt
printf '%s\r\n' "MSGN" "*import.mdb*" "[Righe]" "<,righe.txt,;,(N;T;R;V)" > importa.txt
printf '%s\r\n' "MSGN" "WAITY,2,Importazione~delle righe" "*attesa.mdb*" "[Righe]" \
  "<,righe.txt,;,(N;T;R;V)" > attesa.txt
MLX_NOW="2026-01-01 00:00:00" "$bin" --app-dir "$work" --yes "$work/crea.txt" </dev/null >/dev/null
cp import.mdb attesa.mdb
sqlite3 shell.db "CREATE TABLE Righe (N INTEGER, T TEXT, R REAL, V INTEGER);"
# The same table as the data-access layer made it (with its checks), for a second comparison.
sqlite3 import.mdb ".schema Righe" | sqlite3 same.db

now() { date +%s.%N; }
t0=$(now)
MLX_NOW="2026-01-01 00:00:00" /usr/bin/time -v -o time.txt \
  "$bin" --app-dir "$work" --yes "$work/importa.txt" </dev/null >/dev/null 2>err.txt || {
  cat err.txt >&2
  exit 1
}
t1=$(now)
sqlite3 shell.db <<'SQL'
.mode csv
.import righe.csv Righe
SQL
t2=$(now)
sqlite3 same.db <<'SQL'
.mode csv
.import righe.csv Righe
SQL
t3=$(now)

imported=$(sqlite3 import.mdb "SELECT COUNT(*) FROM Righe")

# The same import into a copy of the same empty table, with the wait window up on a terminal
# (script(1) gives the run a pseudo-terminal).
window=""
if command -v script >/dev/null; then
  t4=$(now)
  script -q -e -c "MLX_NOW='2026-01-01 00:00:00' '$bin' --app-dir '$work' --yes '$work/attesa.txt'" \
    screen.txt </dev/null >/dev/null
  t5=$(now)
  again=$(sqlite3 attesa.mdb "SELECT COUNT(*) FROM Righe")
  [ "$again" = "$rows" ] || { echo "the run with the window imported $again rows" >&2; exit 1; }
  grep -q "Importazione dal file righe.txt" screen.txt || {
    echo "the run with the window showed no progress" >&2
    exit 1
  }
  window=$(awk -v a="$t4" -v b="$t5" 'BEGIN { printf "%.6f", b - a }')
fi
shell=$(sqlite3 shell.db "SELECT COUNT(*) FROM Righe")
[ "$imported" = "$rows" ] || { echo "the script imported $imported rows of $rows" >&2; exit 1; }
[ "$shell" = "$rows" ] || { echo "sqlite3 imported $shell rows of $rows" >&2; exit 1; }
peak=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' time.txt)

awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v n="$rows" -v kb="$peak" -v w="$window" 'BEGIN {
  m = n / (b - a); s = n / (c - b); t = n / (d - c)
  printf "import: %d rows from a text file\n", n
  printf "  marlovex \"<\"                     %10.0f rows/s  (%.2f s)\n", m, b - a
  if (w != "") {
    printf "  marlovex \"<\", wait window shown  %10.0f rows/s  (%.2f s, %+.1f%%)\n", n / w, w,
      (w / (b - a) - 1) * 100
  }
  printf "  sqlite3 .import, plain table     %10.0f rows/s  (%.2f s)\n", s, c - b
  printf "  sqlite3 .import, the same table  %10.0f rows/s  (%.2f s)\n", t, d - c
  printf "  ratio to the plain table         %10.2f (goal >= 1.0)\n", m / s
  printf "  ratio to the same table          %10.2f\n", m / t
  printf "  peak memory                      %10.1f MB (marlovex, goal <= 32)\n", kb / 1024
}'
