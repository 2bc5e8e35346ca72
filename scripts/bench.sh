#!/usr/bin/env bash
# Optimised build of the benchmarks, then every benchmark program in turn.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# Used only by the benchmarks: the DXT encoders compared against ours, and
# ImageMagick for the built-in images the DXT benchmark encodes.
BENCH_PACKAGES=(libsquish-dev libstb-dev imagemagick)
missing=()
for p in "${BENCH_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "bench: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
BUILD=build/release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKILN_TESTS=OFF >/dev/null
cmake --build "$BUILD"
for b in "$BUILD"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
