#!/usr/bin/env bash
# Runs the demo on a virtual X display of 1024 x 768: in an 800 x 600 window,
# where Alt must not end it and another key press must end it at once, and full screen (a window covering the
# whole display), where Escape must lead through the outro to a clean end. Both
# must exit with code 0. Skips (77) without xvfb-run or xdotool.
set -u
exe=$1
assets=$2
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed: skipped"; exit 77; }
command -v xdotool >/dev/null || { echo "xdotool is not installed: skipped"; exit 77; }
command -v xwininfo >/dev/null || { echo "xwininfo is not installed: skipped"; exit 77; }
cd "$assets" || exit 1
# X and SDL keep some memory until the process ends; that is not ours to free.
export ASAN_OPTIONS=detect_leaks=0

run_case() {
  xvfb-run -a -s "-screen 0 1024x768x24" bash -s -- "$@" <<'INNER'
exe=$1; key=$2; limit=$3; size=$4; shift 4
"$exe" "$@" &
pid=$!
wid=""
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || { echo "the demo ended before its window appeared"; wait "$pid"; exit 1; }
  wid=$(xdotool search --name '^Cinderglow$' 2>/dev/null | head -1)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "no window appeared"; kill "$pid"; exit 1; }
sleep 2
geometry=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
if [ "$geometry" != "$size" ]; then
  echo "the window is $geometry, expected $size"
  kill "$pid"
  exit 1
fi
xdotool windowfocus --sync "$wid" 2>/dev/null
# Alt is a system key: it must not end the demo.
xdotool key alt
sleep 1
kill -0 "$pid" 2>/dev/null || { echo "Alt ended the demo"; exit 1; }
xdotool key --clearmodifiers "$key"
for _ in $(seq 1 $((limit * 10))); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the demo did not end within $limit s of the key $key"
  kill "$pid"
  exit 1
fi
wait "$pid"
code=$?
echo "key $key: exit code $code"
exit $code
INNER
}

run_case "$exe" space 10 800x600 --window || exit 1
run_case "$exe" Escape 20 1024x768 || exit 1
echo "smoke test passed"
