#!/usr/bin/env bash
# Remakes the demo's data files in this folder: the images from the generator
# program, and m.mp3 from its synthesised music (encoded with lame).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build/assets"
command -v lame >/dev/null || { echo "make_assets: needs lame (apt-get install lame)"; exit 1; }
cmake -S "$here/generator" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
"$build/cinderglow_assets" "$here"
lame --quiet -b 128 --tt "Cinderglow" --ta "The Cinderglow team" "$here/music.wav" "$here/m.mp3"
rm -f "$here/music.wav"
echo "make_assets: done"
