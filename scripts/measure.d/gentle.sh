#!/usr/bin/env bash
# The gentle step, measured (bash scripts/measure.d/gentle.sh [flashes|live], both by default):
# - flashes: for each part (by default the whole show in each of the eight modes, at 60 fps),
#   scripts/flash-check.py on the plain and on the gentle capture, the change per scene
#   (scripts/gentle-change.py), and the capture's frames per second with and without the step
#   (Y4M to /dev/null: drawing and conversion alone). Then the strip docs/gentle-strip.png: frames
#   of the twin clouds in mode 7 where the step dims them, plain above, gentle below.
# - live: frames per second per scene of the whole show at 800x600, plain and gentle one after
#   the other: the native show under Xvfb (scripts/measure.d/frame.sh live) and the page in
#   headless Chromium (bench/web/fps.mjs --gentle yes).
#
# The whole show in eight modes takes an hour or more on a small machine, most of it in the
# 1920x1080 and 1280x720 modes: GENTLE_PARTS="MODE:FROM_MS:TO_MS ..." measures parts instead, and
# DADADAZO_CAPTURE=path/to/dadadazo-capture uses a capture tool already built.
set -euo pipefail
root=$(pwd)
what=${1:-all}

if [ "$what" = all ] || [ "$what" = live ]; then
  bash "$root/scripts/measure.d/frame.sh" live
  work=$root/build/bench-web
  bash "$root/tests/web/web_test.sh" prepare "$root" "$work" >/dev/null
  node "$root/bench/web/fps.mjs" --site "$work/site" --modules "$work/npm/node_modules" \
    --mode 7 --browsers chromium --gentle yes
  [ "$what" = live ] && exit 0
fi

capture=${DADADAZO_CAPTURE:-}
if [ -z "$capture" ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target dadadazo-capture >/dev/null
  capture="$root/build/bench/tools/capture/dadadazo-capture"
fi
parts=${GENTLE_PARTS:-"1:0:61000 2:0:61000 3:0:61000 4:0:61000 5:0:61000 6:0:61000 7:0:61000 8:0:61000"}

work=$(mktemp -d)
# Readers and writers of the named pipes go with the script, however it ends.
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# The capture's option for a kind of run: --gentle, or nothing for the plain show.
flag_for() {
  if [ "$1" = gentle ]; then echo --gentle; fi
}

# The rate on the capture's closing line: "..., 24.5 frames/s, ...".
rate() {
  tr '\r' '\n' <"$1" | grep 'wrote' | sed -n 's/.* \([0-9.]*\) frames\/s.*/\1/p'
}

for part in $parts; do
  IFS=: read -r mode from to <<<"$part"
  seconds=$(awk -v f="$from" 'BEGIN { printf "%g", f / 1000 }')
  echo
  echo "-- mode $mode, $from to $to ms"
  mkfifo "$work/plain" "$work/gentle"
  for kind in plain gentle; do
    flag=$(flag_for "$kind")
    # shellcheck disable=SC2086 # $flag is one word or none
    "$capture" --mode "$mode" $flag --fps 60 --from "$from" --to "$to" --chroma 444 -o - \
      2>/dev/null | tee "$work/$kind" |
      "$root/scripts/flash-check.py" --from "$seconds" >"$work/$kind.txt" &
  done
  "$root/scripts/gentle-change.py" --from "$seconds" "$work/plain" "$work/gentle"
  wait || true
  rm -f "$work/plain" "$work/gentle"
  for kind in plain gentle; do
    echo "$kind: $(grep -E '^worst second' "$work/$kind.txt")"
  done
  for kind in plain gentle; do
    flag=$(flag_for "$kind")
    # shellcheck disable=SC2086
    "$capture" --mode "$mode" $flag --fps 60 --from "$from" --to "$to" -o - \
      2>"$work/rate.log" >/dev/null
    echo "$kind capture: $(rate "$work/rate.log") frames/s"
  done
done

echo
echo "-- docs/gentle-strip.png: mode 7, 30.0 to 30.5 s every 0.1 s, plain above, gentle below"
for kind in plain gentle; do
  flag=$(flag_for "$kind")
  # shellcheck disable=SC2086
  "$capture" --mode 7 $flag --fps 60 --from 28500 --to 30600 -o "$work/$kind" 2>/dev/null
done
inputs=()
for kind in plain gentle; do
  for frame in 1800 1806 1812 1818 1824 1830; do
    inputs+=(-i "$work/$kind/frame-0$frame.png")
  done
done
ffmpeg -loglevel error -y "${inputs[@]}" -filter_complex \
  "[0][1][2][3][4][5]hstack=6[top];[6][7][8][9][10][11]hstack=6[bottom];[top][bottom]vstack,scale=iw/4:-1" \
  "$root/docs/gentle-strip.png"
echo "wrote docs/gentle-strip.png"
