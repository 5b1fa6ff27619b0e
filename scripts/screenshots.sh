#!/usr/bin/env bash
# Starts ZuZidero under Xvfb on a test disc and saves pictures of its windows into
# docs/screenshots (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target zuzidero-screenshots
discs=build/release/discs
tests/fixtures/make_discs.sh "$discs" >/dev/null

# Settings the pictures make stay out of the user's own.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# On Xvfb with a window manager (maximised and full-screen windows are its to grant). No sound
# device there: the preview plays into nothing, paced by SDL's disk driver.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null XDG_CONFIG_HOME="$config" tests/app/under_window_manager.sh \
  build/release/tools/screenshots/zuzidero-screenshots "$out" "$discs/ntsc_4x3"
