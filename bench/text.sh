#!/usr/bin/env bash
# Subtitles read into text, two pairs on the test disc whose subtitles spumux drew from SubRip
# files (60 s, four tracks of 19 cues):
#   1. a conversion reading the English track's every cue into text (--subtitle-text tracks)
#      against the same conversion keeping the track as pictures, alternately: what the reading
#      beside the encoder costs ("convert_ratio", at most 1.05 wanted; the disc has a cue every
#      three seconds, about twice as many as a film);
#   2. our reading of one track's cues (one reader, started once) against the tesseract command
#      reading the same cue pictures one by one ("read_ratio", at most 0.5 wanted).
#
# Usage: bench/text.sh [DISCS [ROUNDS]]
#   DISCS defaults to the release build's test discs (made when missing); ROUNDS to 5.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/lib.sh"
discs=${1:-$root/build/release/discs}
rounds=${2:-5}
"$root/tests/fixtures/make_discs.sh" "$discs" >/dev/null
disc=$discs/text_ntsc
cli=${ZUZIDERO_CLI:-$(release_program "$root" zuzidero-cli "$root/build/release/src/cli/zuzidero-cli")}
reader=$(release_program "$root" bench_text "$root/build/release/bench/bench_text")
cat "$disc"/VIDEO_TS/*.VOB >/dev/null # into the page cache

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
with=()
without=()
ratios=()
for _ in $(seq "$rounds"); do
  /usr/bin/time -f "%e" -o "$work/with.time" "$cli" convert "$disc" --profile 109 --subtitle-tracks BD20 \
    --subtitle-text tracks --out "$work/with" --overwrite --quiet
  /usr/bin/time -f "%e" -o "$work/without.time" "$cli" convert "$disc" --profile 109 --subtitle-tracks BD20 \
    --out "$work/without" --overwrite --quiet
  with+=("$(cat "$work/with.time")")
  without+=("$(cat "$work/without.time")")
  ratios+=("$(awk -v a="${with[-1]}" -v b="${without[-1]}" 'BEGIN { print a / b }')")
done
spread "${ratios[@]}"
awk -v a="$(median "${with[@]}")" -v b="$(median "${without[@]}")" -v r="$rounds" 'BEGIN {
  printf "convert  with text %.2f s, with pictures %.2f s, median of %d rounds\n", a, b, r
  printf "convert_ratio %.2f\n", a / b
}'

# The first track's cues: our reader against the tesseract command, picture by picture.
mkdir -p "$work/cues"
ours=()
theirs=()
for _ in $(seq "$rounds"); do
  "$reader" "$disc/VIDEO_TS/VTS_01_1.VOB" 0x20 eng "$work/cues" >"$work/ours.txt"
  ours+=("$(awk '$1 == "read_ms" { print $2 }' "$work/ours.txt")")
  start=$(date +%s%N)
  for cue in "$work"/cues/cue*.pgm; do
    tesseract "$cue" - --psm 6 -l eng >/dev/null 2>&1
  done
  theirs+=("$(awk -v s="$start" -v e="$(date +%s%N)" 'BEGIN { print (e - s) / 1e6 }')")
done
cues=$(awk '$1 == "cues" { print $2 }' "$work/ours.txt")
awk -v a="$(median "${ours[@]}")" -v b="$(median "${theirs[@]}")" -v n="$cues" -v r="$rounds" 'BEGIN {
  printf "read     %d cues: ours %.0f ms (%.1f cues/s), tesseract command %.0f ms, median of %d rounds\n", n, a, n / (a / 1000), b, r
  printf "read_ratio %.2f\n", a / b
}'
