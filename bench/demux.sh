#!/usr/bin/env bash
# Demultiplexing throughput of the MPEG splitter against ffmpeg's demuxer on the same file, run
# alternately in one session with the file in the page cache. Each side is timed as a whole
# process (start-up included), every output stream copied to a sink that discards it.
#
# Usage: bench/demux.sh FILE [ROUNDS]      (default 7 rounds; the median of each side counts)
# Prints both throughputs in MB/s, and last "ratio <ZuZidero / ffmpeg>".
set -euo pipefail

file=${1:?usage: bench/demux.sh FILE [ROUNDS]}
rounds=${2:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/lib.sh"
bin=${ZUZIDERO_BENCH_DEMUX:-$(release_program "$root" bench_demux "$root/build/release/bench/bench_demux")}

size=$(stat -c %s "$file")
cat "$file" >/dev/null # into the page cache
"$bin" "$file" 1 >/dev/null || { echo "bench_demux cannot demultiplex $file" >&2; exit 1; }

ours=()
theirs=()
for _ in $(seq "$rounds"); do
  t0=$(date +%s%N)
  "$bin" "$file" 1 >/dev/null
  t1=$(date +%s%N)
  ffmpeg -v error -nostdin -i "$file" -map 0 -c copy -f null - 2>/dev/null
  t2=$(date +%s%N)
  ours+=($((t1 - t0)))
  theirs+=($((t2 - t1)))
done

throughput_report file "$size" "$(median "${ours[@]}")" "$(median "${theirs[@]}")" "$rounds"
ratios=()
for i in "${!ours[@]}"; do ratios+=("$(awk -v a="${ours[$i]}" -v b="${theirs[$i]}" 'BEGIN { print b / a }')"); done
spread "${ratios[@]}"
