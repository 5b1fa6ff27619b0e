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
if [ -x "$build/src/app/zuzidero" ] && [ "${1:-}" != "demo" ]; then
  exec "$build/src/app/zuzidero" "$@"
fi

echo
echo "Built in $build:"
find "$build/src" -maxdepth 3 -name 'libzz_*.a' -printf '  %P\n' | sort
echo "The desktop program and zuzidero-cli are not part of this build yet."
