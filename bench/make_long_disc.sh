#!/usr/bin/env bash
# Makes a DVD with one 10-minute NTSC title (a moving test picture with noise, AC-3 stereo) for
# the conversion benchmark, into OUT (default build/bench-discs/long). Made once.
set -euo pipefail
out=${1:-"$(cd "$(dirname "$0")/.." && pwd)/build/bench-discs/long"}
minutes=${MINUTES:-10}
[ -f "$out/.made-$minutes" ] && exit 0
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=720x480:rate=30000/1001:duration=$((minutes * 60)),noise=alls=12:allf=t" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$((minutes * 60))" \
  -target ntsc-dvd -aspect 4:3 -b:v 5000k -maxrate 8000k -c:a ac3 -b:a 192k -ac 2 "$work/long.mpg"
cat > "$work/long.xml" <<XML
<dvdauthor dest="$out">
  <vmgm />
  <titleset><titles><video format="ntsc" aspect="4:3" /><audio format="ac3" lang="en" />
    <pgc><vob file="$work/long.mpg" /></pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=NTSC dvdauthor -x "$work/long.xml" >/dev/null 2>&1
touch "$out/.made-$minutes"
