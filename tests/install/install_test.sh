#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user would:
# builds examples/draw_frame against it with find_package(Kiln) and with
# pkg-config, runs both, checks that the installed headers stand alone and
# the private ones stay out, and runs the installed programs from elsewhere.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR CXX (static or shared builds alike)
set -euo pipefail
build=$1 source=$2 cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
inc=$prefix/include/kiln

# Public headers are there, each compiles on its own; internal ones are not.
for h in shader/compiler.h texture/kltexture.h math/klmath.h gfx/d3d9.h gfx/presenter.h; do
  [ -f "$inc/$h" ] || fail "$h is not installed"
done
for h in shader/frontend shader/backend shader/preprocess gfx/device gfx/shaders texture/decoders; do
  [ ! -e "$inc/$h" ] || fail "internal folder $h is installed"
done
while IFS= read -r h; do
  echo "#include \"${h#$inc/}\"" | "$cxx" -std=c++20 -fsyntax-only -I"$inc" -x c++ - ||
    fail "${h#$inc/} does not compile on its own"
done < <(find "$inc" -name '*.h')

# What the example draws: a 2 x 2 checker (red, green / blue, white) over
# the whole 64 x 64 frame, point sampled.
expected="quarters FFFF0000 FF00FF00 FF0000FF FFFFFFFF"
example=$source/examples/draw_frame
check_example() {  # $1: program, $2: how it was built
  # A shared build outside the linker's search path is found as users find
  # it without an rpath (pkg-config gives none).
  (cd "$work" && LD_LIBRARY_PATH="$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$1" "$example/quad.hlsl" "$example/checker.ppm" "$work/$2.png") >"$work/$2.out" ||
    { cat "$work/$2.out"; fail "draw_frame built with $2 failed"; }
  grep -q "$expected" "$work/$2.out" || { cat "$work/$2.out"; fail "draw_frame built with $2 drew the wrong frame"; }
  [ -s "$work/$2.png" ] || fail "draw_frame built with $2 wrote no PNG"
}

# find_package(Kiln)
cmake -S "$example" -B "$work/cmake-build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "find_package(Kiln) configure"; }
cmake --build "$work/cmake-build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "find_package(Kiln) build"; }
check_example "$work/cmake-build/draw_frame" find_package

# pkg-config
pcdir=$(dirname "$(find "$prefix" -name kiln.pc | head -1)")
flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs kiln) || fail "pkg-config kiln"
# shellcheck disable=SC2086
"$cxx" -std=c++20 "$example/draw_frame.cpp" -o "$work/draw_frame_pc" $flags || fail "pkg-config build"
check_example "$work/draw_frame_pc" pkg-config

# The installed programs.
"$prefix/bin/kiln" --version | grep -q '^kiln [0-9]' || fail "installed kiln --version"
"$prefix/bin/cinderglow" --version | grep -q '^cinderglow [0-9]' || fail "installed cinderglow --version"
for f in intro.png Fire.vhl Fire.phl m.mp3; do
  [ -f "$prefix/share/cinderglow/$f" ] || fail "share/cinderglow/$f is not installed"
done
# Started from an empty folder, the demo finds its data under share/cinderglow:
# no line about a missing file.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && "$prefix/bin/cinderglow" --record frames --fps 1 --from 14 --to 15) \
  >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; fail "installed cinderglow --record"; }
grep -q 'cannot' "$work/demo.out" && { cat "$work/demo.out"; fail "installed cinderglow misses data files"; }
[ -f "$work/elsewhere/frames/frame_00000.png" ] || { cat "$work/demo.out"; fail "installed cinderglow wrote no frame"; }
echo "install test passed"
