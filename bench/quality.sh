#!/usr/bin/env bash
# Today's formats side by side: each Modern profile (108–114) and the default H.264 profile (5)
# convert the same 60-s stretch of the benchmark title; for each, the encoding speed (pictures a
# second, and as a ratio to profile 5 in the same run), the file's size and its SSIM against the
# source's pictures (ffmpeg's ssim filter, the output scaled back to the source's size; the source
# is the stretch converted without loss). Prints a Markdown table for the README.
#
# Usage: bench/quality.sh [DISC [TITLE]]
#   DISC defaults to the 10-minute test disc that bench/make_long_disc.sh makes; TITLE to 1.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
disc=${1:-$root/build/bench-discs/long}
title=${2:-1}
[ -d "$disc" ] || "$root/bench/make_long_disc.sh" "$disc"
. "$root/bench/lib.sh"
cli=${ZUZIDERO_CLI:-$(release_program "$root" zuzidero-cli "$root/build/release/src/cli/zuzidero-cli")}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stretch=(--title "$title" --start 00:01:00 --length 00:01:00)

# The source's pictures, kept whole: x264 without loss at the title's own size.
"$cli" convert "$disc" "${stretch[@]}" --profile 108 --quality 0 --speed ultrafast --out "$work/source" --quiet --overwrite
source=$(ls "$work"/source/*)
size=$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=s=x:p=0 "$source")

row() { # profile name
  local profile=$1 name=$2 out="$work/p$1"
  local start end
  start=$(date +%s.%N)
  "$cli" convert "$disc" "${stretch[@]}" --profile "$profile" --out "$out" --quiet --overwrite
  end=$(date +%s.%N)
  local file
  file=$(ls "$out"/*)
  local frames bytes ssim
  frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$file")
  bytes=$(stat -c %s "$file")
  # Picture by picture, in order: containers keep times differently (Matroska in milliseconds), and
  # pairing by time would pair neighbours.
  ssim=$(ffmpeg -nostdin -i "$file" -i "$source" -lavfi "[0:v]setpts=N/(30*TB),scale=${size/x/:}:flags=bicubic,setsar=1[a];[1:v]setpts=N/(30*TB),setsar=1[b];[a][b]ssim" \
           -f null - 2>&1 | sed -n 's/.*All:\([0-9.]*\).*/\1/p' | tail -1)
  awk -v p="$profile" -v n="$name" -v f="$frames" -v s="$start" -v e="$end" -v b="$bytes" -v q="$ssim" \
    'BEGIN { printf "%s\t%s\t%.1f\t%.1f\t%.4f\n", p, n, f / (e - s), b / 1048576, q }'
}

{
  row 5 "H.264 MP4, 1500 kbit/s (the default)"
  row 108 "H.264 MKV, CRF 20"
  row 109 "H.264 MP4, CRF 20"
  row 110 "H.265 MKV, CRF 22"
  row 111 "H.265 MP4, CRF 22"
  row 112 "AV1 MKV, CRF 30"
  row 113 "AV1 WebM, CRF 30"
  row 114 "VP9 WebM, CQ 32"
} >"$work/rows"

echo "| Profile | Format | Pictures a second | Speed against profile 5 | Size of 60 s (MB) | SSIM |"
echo "|---|---|---|---|---|---|"
awk -F'\t' 'NR == 1 { base = $3 } { printf "| %s | %s | %.1f | %.2f | %.1f | %.4f |\n", $1, $2, $3, $3 / base, $4, $5 }' "$work/rows"
echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date +%Y-%m-%d)"
