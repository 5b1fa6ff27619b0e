#!/usr/bin/env bash
# Decoding plus video conversion of a title against ffmpeg doing the same, alternately in one run:
# 720 × 480 to 640 × 480 bicubic with brightness, saturation and hue.
#
# Usage: bench/video.sh TITLE [ROUNDS]   (TITLE: the title's VOB file; default 5 rounds, medians count)
# Prints both rates in pictures per second, and last "ratio <ZuZidero / ffmpeg>".
set -euo pipefail

title=${1:?usage: bench/video.sh TITLE [ROUNDS]}
rounds=${2:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${ZUZIDERO_BENCH_VIDEO:-$root/build/release/bench/bench_video}
if [ ! -x "$bin" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target bench_video >/dev/null
fi

cat "$title" >/dev/null # into the page cache
pictures=$("$bin" "$title" 1 | awk '/^pass/ { print $3 }')
[ -n "$pictures" ] || { echo "bench_video cannot convert $title" >&2; exit 1; }

ours=()
theirs=()
for _ in $(seq "$rounds"); do
  t0=$(date +%s%N)
  "$bin" "$title" 1 >/dev/null
  t1=$(date +%s%N)
  ffmpeg -v error -nostdin -i "$title" -map 0:v:0 \
    -vf scale=640:480:flags=bicubic,eq=brightness=0.1:saturation=1.2,hue=h=30 -f null - 2>/dev/null
  t2=$(date +%s%N)
  ours+=($((t1 - t0)))
  theirs+=($((t2 - t1)))
done

. "$root/bench/lib.sh"
awk -v n="$pictures" -v a="$(median "${ours[@]}")" -v b="$(median "${theirs[@]}")" -v r="$rounds" 'BEGIN {
  za = n / (a / 1e9); fb = n / (b / 1e9)
  printf "title    %d pictures, median of %d rounds\n", n, r
  printf "zuzidero %.1f fps (%.1f ms)\n", za, a / 1e6
  printf "ffmpeg   %.1f fps (%.1f ms)\n", fb, b / 1e6
  printf "ratio %.2f\n", za / fb
}'
