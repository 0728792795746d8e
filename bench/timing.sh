# Timing shared by the script-line benchmarks (sourced, not run).
#
# measure NAME CMD...: runs CMD once (its output thrown away, no terminal input) and keeps, in
# the variables NAME_wall and NAME_cpu, the shortest wall time and the smallest user+system time
# of the runs measured so far under NAME. The best run is the one least disturbed by whatever
# else the machine does, so two commands measured alike, in turns, compare fairly even on a busy
# machine.
measure() {
  local name=$1
  shift
  local best_wall=${name}_wall best_cpu=${name}_cpu times wall user sys
  times=$({ TIMEFORMAT='%3R %3U %3S'; time "$@" >/dev/null 2>&1 </dev/null; } 2>&1)
  read -r wall user sys <<<"$times"
  printf -v "$best_wall" '%s' "$(awk -v a="${!best_wall:-}" -v b="$wall" \
    'BEGIN { print (a == "" || b < a) ? b : a }')"
  printf -v "$best_cpu" '%s' "$(awk -v a="${!best_cpu:-}" -v b="$user" -v c="$sys" \
    'BEGIN { t = b + c; print (a == "" || t < a) ? t : a }')"
}

# report TITLE LINES: the figures measure kept as "mlx" (marlovex) and "sh" (bash).
report() {
  awk -v title="$1" -v n="$2" -v runs="$BENCH_RUNS" -v mw="$mlx_wall" -v mc="$mlx_cpu" \
    -v sw="$sh_wall" -v sc="$sh_cpu" 'BEGIN {
    printf "%s: %d lines (best of %d runs each)\n", title, n, runs
    printf "  marlovex  %10.0f lines/s  (%.3f s wall, %.3f s user+system)\n", n / mw, mw, mc
    printf "  bash      %10.0f lines/s  (%.3f s wall, %.3f s user+system)\n", n / sw, sw, sc
    printf "  ratio     %10.2f (marlovex / bash, wall; %.2f by user+system time)\n", sw / mw, sc / mc
  }'
}

# How many runs of each side a figure is the best of.
BENCH_RUNS=${BENCH_RUNS:-5}
