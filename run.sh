#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up the machine, builds a release of ZuZidero and starts the desktop program.
#   ./run.sh        build and start the program
#   ./run.sh demo   build, make a small sample DVD and convert it with zuzidero-cli
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release
# The programs only; ./test.sh builds the tests.
cmake --build --preset release -j "$jobs" --target zuzidero zuzidero-cli

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
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "Built in $build. There is no display to show ZuZidero on;"
  echo "./run.sh demo converts a sample DVD with zuzidero-cli instead."
  exit 1
fi
exec "$build/src/app/zuzidero" "$@"
