#!/usr/bin/env bash
# Without a display the demo says so in one line, points to --record and ends
# with a failure code instead of crashing.
set -u
exe=$1
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 60 "$exe" 2>&1 >/dev/null)
code=$?
echo "exit code $code: $out"
[ "$code" -eq 1 ] || exit 1
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "expected one line"; exit 1; }
case "$out" in *--record*) ;; *) echo "expected a hint at --record"; exit 1 ;; esac
help=$("$exe" --help) || exit 1
case "$help" in *--contact-sheet*) ;; *) echo "--help does not describe the options"; exit 1 ;; esac
exit 0
