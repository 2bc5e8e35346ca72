#!/usr/bin/env bash
# Set-up, an optimised build, and the demo run from its data folder.
# Arguments go to cinderglow (e.g. --window, or --record out/ for no display).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD=build/release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKILN_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target cinderglow kiln
cd assets
exec "../$BUILD/demo/cinderglow" "$@"
