#!/usr/bin/env bash
# A whole conversion against ffmpeg doing the same: zuzidero-cli convert of a title to H.264 and
# AAC in MP4 at 640 × 480 (profile 5), and ffmpeg reading the title's VOBs with the same encoders
# and settings (bit rate, key picture every 29, no B-pictures, all cores, bicubic scaling,
# 48 kHz stereo), alternately, in one run.
#
# Usage: bench/convert.sh [DISC [TITLE [ROUNDS]]]
#   DISC defaults to a 10-minute test disc that bench/make_long_disc.sh makes; TITLE to 1;
#   ROUNDS to 2 (the median of each side counts).
# Prints both wall times and peak memory, and last "ratio <ZuZidero time / ffmpeg time>".
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
for _ in $(seq "$rounds"); do
  /usr/bin/time -f "%e %M" -o "$work/ours.time" \
    "$cli" convert "$disc" --title "$title" --profile 5 --out "$work/ours" --overwrite --quiet
  /usr/bin/time -f "%e %M" -o "$work/theirs.time" \
    ffmpeg -hide_banner -loglevel error -nostdin -y -i "concat:$vobs" -map 0:v:0 -map 0:a:0 \
      -vf scale=640:480:flags=bicubic,setsar=1 -r 30000/1001 -c:v libx264 -b:v 1500k -g 29 -bf 0 -threads 0 \
      -c:a aac -b:a 128k -ar 48000 -ac 2 "$work/theirs.mp4"
  read -r seconds kb <"$work/ours.time"
  ours+=("$seconds")
  ours_kb=$((kb > ours_kb ? kb : ours_kb))
  read -r seconds kb <"$work/theirs.time"
  theirs+=("$seconds")
  theirs_kb=$((kb > theirs_kb ? kb : theirs_kb))
done

. "$root/bench/lib.sh"
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/ours"/*.mp4)
awk -v a="$(median "${ours[@]}")" -v b="$(median "${theirs[@]}")" -v ma="$ours_kb" -v mb="$theirs_kb" \
    -v r="$rounds" -v len="$length" 'BEGIN {
  printf "title    %.1f s converted, median of %d rounds\n", len, r
  printf "zuzidero %.2f s, peak memory %.1f MB\n", a, ma / 1024
  printf "ffmpeg   %.2f s, peak memory %.1f MB\n", b, mb / 1024
  printf "ratio %.2f\n", a / b
}'
