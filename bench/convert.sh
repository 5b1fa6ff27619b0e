#!/usr/bin/env bash
# A whole conversion against ffmpeg doing the same: zuzidero-cli convert of a title to H.264 and
# AAC in MP4 at 640 × 480 (profile 5), and ffmpeg reading the title's VOBs with the same encoders
# and settings (bit rate, key picture every 29, no B-pictures, all cores, bicubic scaling,
# 48 kHz stereo), alternately, in one run.
#
# Usage: [LENGTH=SECONDS] bench/convert.sh [DISC [TITLE [ROUNDS]]]
#   DISC defaults to a 10-minute test disc that bench/make_long_disc.sh makes; TITLE to 1;
#   ROUNDS to 2 (the median of each side counts); LENGTH converts only the title's first seconds.
# Prints both wall and CPU times and peak memory, "cpu_ratio", "memory_ratio", the spread of the
# rounds' wall-time ratios, and last "ratio <ZuZidero time / ffmpeg time>".
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
disc=${1:-$root/build/bench-discs/long}
title=${2:-1}
rounds=${3:-2}
[ -d "$disc" ] || "$root/bench/make_long_disc.sh" "$disc"
cli=${ZUZIDERO_CLI:-$root/build/release/src/cli/zuzidero-cli}
if [ ! -x "$cli" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target zuzidero-cli >/dev/null
fi

# The title's VOBs, for ffmpeg.
vts=$(lsdvd -t "$title" -x -Ox "$disc" 2>/dev/null | sed -n 's:.*<vts>\([0-9]*\)</vts>.*:\1:p' | head -1)
vobs=$(ls "$disc"/VIDEO_TS/VTS_$(printf %02d "$vts")_[1-9].VOB | paste -sd'|')
cat "$disc"/VIDEO_TS/VTS_$(printf %02d "$vts")_[1-9].VOB >/dev/null # into the page cache

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ours=()
theirs=()
ours_kb=0
theirs_kb=0
ours_cpu=()
theirs_cpu=()
ratios=()
ours_length=()
theirs_length=()
if [ -n "${LENGTH:-}" ]; then
  ours_length=(--length "$(printf '%02d:%02d:%02d' $((LENGTH / 3600)) $((LENGTH / 60 % 60)) $((LENGTH % 60)))")
  theirs_length=(-t "$LENGTH")
fi
for _ in $(seq "$rounds"); do
  /usr/bin/time -f "%e %M %U %S" -o "$work/ours.time" \
    "$cli" convert "$disc" --title "$title" --profile 5 --out "$work/ours" --overwrite --quiet "${ours_length[@]}"
  /usr/bin/time -f "%e %M %U %S" -o "$work/theirs.time" \
    ffmpeg -hide_banner -loglevel error -nostdin -y -i "concat:$vobs" "${theirs_length[@]}" -map 0:v:0 -map 0:a:0 \
      -vf scale=640:480:flags=bicubic,setsar=1 -r 30000/1001 -c:v libx264 -b:v 1500k -g 29 -bf 0 -threads 0 \
      -c:a aac -b:a 128k -ar 48000 -ac 2 "$work/theirs.mp4"
  read -r seconds kb user system <"$work/ours.time"
  ours+=("$seconds")
  ours_cpu+=("$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')")
  ours_kb=$((kb > ours_kb ? kb : ours_kb))
  ours_seconds=$seconds
  read -r seconds kb user system <"$work/theirs.time"
  theirs+=("$seconds")
  theirs_cpu+=("$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')")
  theirs_kb=$((kb > theirs_kb ? kb : theirs_kb))
  ratios+=("$(awk -v a="$ours_seconds" -v b="$seconds" 'BEGIN { print a / b }')")
done

. "$root/bench/lib.sh"
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/ours"/*.mp4)
spread "${ratios[@]}"
awk -v a="$(median "${ours[@]}")" -v b="$(median "${theirs[@]}")" -v ma="$ours_kb" -v mb="$theirs_kb" \
    -v ca="$(median "${ours_cpu[@]}")" -v cb="$(median "${theirs_cpu[@]}")" -v r="$rounds" -v len="$length" 'BEGIN {
  printf "title    %.1f s converted, median of %d rounds\n", len, r
  printf "zuzidero %.2f s, CPU %.2f s, peak memory %.1f MB\n", a, ca, ma / 1024
  printf "ffmpeg   %.2f s, CPU %.2f s, peak memory %.1f MB\n", b, cb, mb / 1024
  printf "cpu_ratio %.2f\n", ca / cb
  printf "memory_ratio %.2f\n", ma / mb
  printf "ratio %.2f\n", a / b
}'
