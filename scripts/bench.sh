#!/usr/bin/env bash
# Optimised build of the benchmarks, then every benchmark program in turn.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD=build/release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKILN_TESTS=OFF >/dev/null
cmake --build "$BUILD"
for b in "$BUILD"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
