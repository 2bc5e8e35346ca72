#!/usr/bin/env bash
# Set-up, build and the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer. Extra arguments go to ctest (e.g. -R math).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD=build/asan
# -O1 keeps the sanitizers exact while the rendering tests run at a usable speed.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
  -DKILN_SANITIZE=ON -DKILN_BENCH=OFF >/dev/null
cmake --build "$BUILD"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" "$@"
