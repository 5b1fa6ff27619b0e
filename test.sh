#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up the machine, builds ZuZidero under AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test; then runs the threaded and playback-timing tests again under ThreadSanitizer;
# then builds the release preset with the benchmarks and the fuzz targets' replay programs, so
# that they cannot rot, and runs the playback-timing tests on it. Every preset treats compiler
# warnings as errors.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp ctest --preset asan -j "$jobs"

cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp \
  ctest --preset tsan -L "threads|timing" -j "$jobs"

cmake --preset release -DZUZIDERO_BUILD_BENCH=ON
cmake --build --preset release -j "$jobs"

# Playback timing on the build users run (the sanitizer runs above widen its bounds).
ctest --preset release -L timing -j 1

# The Debian package of that build (cpack, dpkg-shlibdeps, lintian).
ctest --preset release -L package --output-on-failure
