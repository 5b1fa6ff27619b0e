#!/usr/bin/env bash
# The original-quality copy (profile 107: the title's video, sound and subtitles copied into MKV,
# no decoder or encoder) against ffmpeg copying the same VOBs into MKV (`-fflags +genpts -map 0:v
# -map 0:a -c copy`: DVD pictures without time stamps need genpts for Matroska),
# alternately in one run, the VOBs in the page cache.
#
# Usage: bench/copy.sh [DISC [TITLE [ROUNDS]]]
#   DISC defaults to the 10-minute test disc bench/make_long_disc.sh makes; TITLE to 1; ROUNDS
#   to 5 (the median of each side counts).
# Prints both throughputs (MB of VOB per second), and last "ratio <ZuZidero / ffmpeg>" (above 1:
# ZuZidero copies faster).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/lib.sh"
disc=${1:-$root/build/bench-discs/long}
title=${2:-1}
rounds=${3:-5}
[ -d "$disc" ] || "$root/bench/make_long_disc.sh" "$disc"
cli=${ZUZIDERO_CLI:-$(release_program "$root" zuzidero-cli "$root/build/release/src/cli/zuzidero-cli")}

vts=$(lsdvd -t "$title" -x -Ox "$disc" 2>/dev/null | sed -n 's:.*<vts>\([0-9]*\)</vts>.*:\1:p' | head -1)
vob_files=("$disc"/VIDEO_TS/VTS_$(printf %02d "$vts")_[1-9].VOB)
vobs=$(printf '%s\n' "${vob_files[@]}" | paste -sd'|')
size=$(cat "${vob_files[@]}" | wc -c) # and into the page cache

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ours=()
theirs=()
for _ in $(seq "$rounds"); do
  t0=$(date +%s%N)
  "$cli" convert "$disc" --title "$title" --profile 107 --out "$work/ours" --overwrite --quiet
  t1=$(date +%s%N)
  ffmpeg -hide_banner -loglevel error -nostdin -y -fflags +genpts -i "concat:$vobs" -map 0:v:0 -map 0:a -c copy "$work/theirs.mkv"
  t2=$(date +%s%N)
  ours+=($((t1 - t0)))
  theirs+=($((t2 - t1)))
done

throughput_report VOBs "$size" "$(median "${ours[@]}")" "$(median "${theirs[@]}")" "$rounds"
ratios=()
for i in "${!ours[@]}"; do ratios+=("$(awk -v a="${ours[$i]}" -v b="${theirs[$i]}" 'BEGIN { print b / a }')"); done
spread "${ratios[@]}"
