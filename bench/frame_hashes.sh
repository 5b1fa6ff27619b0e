#!/usr/bin/env bash
# What each of the catalogue's 107 seed profiles makes of one test title, as hashes of the decoded
# pictures and sound, so that work on the conversion's speed can show its files are unchanged.
#
# Usage: bench/frame_hashes.sh OUT.txt [KEEP_DIR]
#          writes "PROFILE VIDEO_MD5 PICTURES AUDIO_MD5" lines for profiles 0-106 (the files go
#          into KEEP_DIR when given, for bench/frame_hashes.sh --compare);
#        bench/frame_hashes.sh --compare BEFORE.txt BEFORE_DIR
#          converts again and, for each profile whose hashes differ, prints the PSNR of its
#          pictures against BEFORE_DIR's file (the closing bar is 50 dB).
# The title is the NTSC test disc's second (4 s, 720 × 480 with two sound tracks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/lib.sh"
cli=$(release_program "$root" zuzidero-cli "${ZUZIDERO_CLI:-$root/build/release/src/cli/zuzidero-cli}")
discs=$root/build/release/discs
[ -d "$discs/ntsc_4x3" ] || "$root/tests/fixtures/make_discs.sh" "$discs" >/dev/null
disc=$discs/ntsc_4x3

compare=""
if [ "${1:-}" = "--compare" ]; then
  compare=$2
  before_dir=$3
  out=$(mktemp)
  keep=$(mktemp -d)
  trap 'rm -rf "$out" "$keep"' EXIT
else
  out=$1
  keep=${2:-$(mktemp -d)}
  mkdir -p "$keep"
fi

# The hashes of a file's decoded pictures and sound (empty when it has none).
hashes() {
  local file=$1 video frames audio
  video=$(ffmpeg -v error -nostdin -i "$file" -map 0:v:0? -f framemd5 - 2>/dev/null | grep -v '^#' | awk -F, '{ print $NF }')
  frames=$(printf '%s' "$video" | grep -c . || true)
  video=$(printf '%s' "$video" | md5sum | cut -c1-32)
  audio=$(ffmpeg -v error -nostdin -i "$file" -map 0:a:0? -f s16le - 2>/dev/null | md5sum | cut -c1-32)
  printf '%s %s %s\n' "$video" "$frames" "$audio"
}

: >"$out"
for profile in $(seq 0 106); do
  folder=$keep/$profile
  rm -rf "$folder"
  if "$cli" convert "$disc" --title 2 --profile "$profile" --out "$folder" --quiet --overwrite >/dev/null 2>&1; then
    file=$(ls "$folder"/* | head -1)
    printf '%s %s\n' "$profile" "$(hashes "$file")" >>"$out"
  else
    printf '%s failed\n' "$profile" >>"$out"
  fi
done

if [ -z "$compare" ]; then
  echo "wrote $out"
  exit 0
fi
changed=0
while read -r profile rest; do
  before=$(awk -v p="$profile" '$1 == p { $1 = ""; print substr($0, 2) }' "$compare")
  [ "$before" = "$rest" ] && continue
  changed=$((changed + 1))
  new=$(ls "$keep/$profile"/* | head -1)
  old=$(ls "$before_dir/$profile"/* | head -1)
  psnr=$(ffmpeg -v info -nostdin -i "$new" -i "$old" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 | sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1)
  printf 'profile %s changed: PSNR %s dB against before\n' "$profile" "${psnr:-none (no pictures)}"
done <"$out"
echo "$changed of 107 profiles changed"
