#!/usr/bin/env bash
# Sets up the machine, builds a release of ZuZidero and starts it.
#   ./run.sh        build and start the program
#   ./run.sh demo   build, make a small sample DVD and convert it with zuzidero-cli
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release
cmake --build --preset release -j "$jobs"

build=build/release
cli="$build/src/cli/zuzidero-cli"
if [ "${1:-}" = "demo" ]; then
  discs="$build/discs"
  tests/fixtures/make_discs.sh "$discs"
  out="$build/demo-output"
  echo
  "$cli" info "$discs/ntsc_4x3"
  echo
  echo "Converting the sample DVD's titles to H.264 and AAC in MP4 into $out:"
  "$cli" convert "$discs/ntsc_4x3" --out "$out" --overwrite
  exit 0
fi
if [ -x "$build/src/app/zuzidero" ]; then
  exec "$build/src/app/zuzidero" "$@"
fi

echo
echo "Built in $build: $cli"
echo "The desktop program is not part of this build yet; ./run.sh demo converts a sample DVD with zuzidero-cli."
