#!/usr/bin/env bash
# Set-up, build and the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer. Extra arguments go to ctest (e.g. -R math).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD=build/asan
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKILN_SANITIZE=ON -DKILN_BENCH=OFF >/dev/null
cmake --build "$BUILD"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" "$@"
