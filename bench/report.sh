#!/usr/bin/env bash
# Runs the benchmark pairs against ffmpeg (each alternating, several rounds, medians with the
# rounds' spread) and writes docs/performance.md: the machine, the commands, the figures and
# where the conversion's time goes (perf's profile of a 20-s conversion).
#
# Usage: [ROUNDS=3] [WHOLE=0] bench/report.sh [OUT.md]
#   WHOLE=0 leaves out the whole-title conversion (it takes about 3 minutes a side a round).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/lib.sh"
out=${1:-$root/docs/performance.md}
rounds=${ROUNDS:-3}
disc=$root/build/bench-discs/long
"$root/bench/make_long_disc.sh" "$disc"
cli=$(release_program "$root" zuzidero-cli "$root/build/release/src/cli/zuzidero-cli")
release_program "$root" bench_demux "$root/build/release/bench/bench_demux" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One pair: its command line, and its output kept for the table.
pair() {
  local name=$1
  shift
  echo "== $name: $*" >&2
  "$@" >"$work/$name.txt" 2>&1
  cat "$work/$name.txt" >&2
}
field() { [ -f "$work/$1.txt" ] && awk -v key="$2" '$1 == key { print $2 }' "$work/$1.txt" | tail -1 || true; }
spread_of() { [ -f "$work/$1.txt" ] && awk '$1 == "spread" { printf "%s–%s", $2, $3 }' "$work/$1.txt" || true; }

pair convert60 env LENGTH=60 "$root/bench/convert.sh" "$disc" 1 "$rounds"
if [ "${WHOLE:-1}" != 0 ]; then pair convertall "$root/bench/convert.sh" "$disc" 1 "$rounds"; fi
pair demux "$root/bench/demux.sh" "$disc/VIDEO_TS/VTS_01_1.VOB" $((rounds * 2 + 1))
pair copy "$root/bench/copy.sh" "$disc" 1 "$rounds"
pair text "$root/bench/text.sh" "$root/build/release/discs" "$rounds"

# Where a conversion's time goes.
profile=unavailable
if command -v perf >/dev/null && perf record -q -o "$work/perf.data" -F 499 -g -- "$cli" convert "$disc" --title 1 --profile 5 \
    --out "$work/profiled" --overwrite --quiet --length 00:00:20 >/dev/null 2>&1; then
  profile=$(perf report -i "$work/perf.data" --no-children --sort dso -g none 2>/dev/null | grep -v '^#' | grep -v '^$' | head -8 || true)
  symbols=$(perf report -i "$work/perf.data" --no-children --sort dso,sym -g none 2>/dev/null | grep -v '^#' | grep -v '^$' | head -8 || true)
fi

row() { # name, what, the pair's file, the ratio's key; the spread is of the rounds' times
  local ratio shown=""
  ratio=$(field "$3" "$4")
  if [ "$4" = ratio ]; then shown=$(spread_of "$3"); fi
  if [ -n "$ratio" ]; then printf '| %s | %s | %s | %s |\n' "$1" "$2" "$ratio" "$shown"; fi
}
{
  echo "# Performance"
  echo
  echo "Measured by \`bench/report.sh\` on $(date -u +%Y-%m-%d): $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores,"
  echo "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(ffmpeg -version | head -1 | cut -d' ' -f1-3), the release build."
  echo "Each pair runs ZuZidero and ffmpeg alternately, $rounds rounds or more, on the 10-minute test title that"
  echo "\`bench/make_long_disc.sh\` makes (720 × 480 NTSC with noise, AC-3); the figures are medians, the spread is the"
  echo "smallest and largest ratio of a single round."
  echo
  echo "| Work | Against | Ratio (median) | Spread |"
  echo "|---|---|---|---|"
  row "Conversion, 60 s, wall time (lower is better)" "ffmpeg, same x264 settings" convert60 ratio
  row "Conversion, 60 s, CPU time" "the same" convert60 cpu_ratio
  row "Conversion, 60 s, peak memory" "the same" convert60 memory_ratio
  row "Conversion, whole title, wall time" "the same" convertall ratio
  row "Conversion, whole title, CPU time" "the same" convertall cpu_ratio
  row "Conversion, whole title, peak memory" "the same" convertall memory_ratio
  row "Demultiplexing a VOB, throughput (higher is better)" "ffmpeg -c copy -f null" demux ratio
  row "Copy at the disc's quality (profile 107), throughput" "ffmpeg -c copy into MKV" copy ratio
  row "Conversion reading a subtitle track into text, wall time" "the same conversion keeping the pictures" text convert_ratio
  row "Reading a track's 19 cues into text, time" "the tesseract command, cue by cue" text read_ratio
  echo
  echo "## The runs"
  for name in convert60 convertall demux copy text; do
    [ -f "$work/$name.txt" ] || continue
    echo
    echo "\`$name\`:"
    echo
    echo '```'
    cat "$work/$name.txt"
    echo '```'
  done
  echo
  echo "## Where the conversion's time goes"
  echo
  share=$(printf '%s\n' "$profile" | awk '/libx264/ { sub("%", "", $1); print $1; exit }')
  if [ -n "$share" ]; then
    echo "The encoder (libx264) takes ${share} % of the samples; the way to it (reading, MPEG-2 decoding, scaling,"
    echo "AAC, moving pictures between the filters) takes the other $(awk -v s="$share" 'BEGIN { printf "%.1f", 100 - s }') %. With identical x264 settings, a"
    echo "conversion can only beat ffmpeg's time by spending less than ffmpeg does on that way."
    cpu=$(field convert60 cpu_ratio)
    codec=$(printf '%s\n' "$profile" | awk '/libavcodec/ { sub("%", "", $1); print $1; exit }')
    if [ -n "$cpu" ] && [ -n "$codec" ]; then
      awk -v s="$share" -v r="$cpu" -v c="$codec" 'BEGIN {
        x = s / 100 * r; rest = (1 - s / 100) * r; left = 0.90 - x
        printf "\nThe encoder does the same work on both sides, so at this run'"'"'s CPU ratio (%.2f) x264 alone costs %.2f of\n", r, x
        printf "ffmpeg'"'"'s CPU time. A ratio of 0.90 would leave %.2f of it for everything else, which costs %.2f now;\n", left, rest
        printf "libavcodec alone (MPEG-2 and AC-3 decoding, AAC encoding: the calls ffmpeg makes too) costs %.2f.\n", c / 100 * r
      }'
    fi
  fi
  echo
  echo "\`perf record\` of a 20-s conversion with profile 5, by library and by symbol:"
  echo
  echo '```'
  echo "$profile"
  echo
  echo "${symbols:-}"
  echo '```'
} >"$out"
echo "wrote $out"
