# What the benchmark scripts share; sourced, not run.

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# A release-build program of the project, built first when it is not there: `release_program
# ROOT TARGET PATH` prints PATH.
release_program() {
  local root=$1 target=$2 path=$3
  if [ ! -x "$path" ]; then
    (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release --target "$target" >/dev/null)
  fi
  printf '%s\n' "$path"
}

# Both sides' throughput over the same bytes, and their ratio last: `throughput_report WHAT BYTES
# OURS_NS THEIRS_NS ROUNDS` (the nanoseconds are each side's median).
throughput_report() {
  awk -v what="$1" -v size="$2" -v a="$3" -v b="$4" -v n="$5" 'BEGIN {
    za = size / (a / 1e9) / 1e6; fb = size / (b / 1e9) / 1e6
    printf "%-8s %.1f MB, median of %d rounds\n", what, size / 1e6, n
    printf "zuzidero %.1f MB/s (%.1f ms)\n", za, a / 1e6
    printf "ffmpeg   %.1f MB/s (%.1f ms)\n", fb, b / 1e6
    printf "ratio %.2f\n", za / fb
  }'
}

# The smallest and largest of the numbers given, as "spread MIN MAX" (each round's ratio of an
# alternating pair: how far the rounds wander).
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "spread %.2f %.2f\n", lo, hi }'; }
