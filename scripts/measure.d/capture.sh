#!/usr/bin/env bash
# dadadazo-capture at 1280x720, 60 fps (the README's capture figures): the capture benchmark, which
# runs both renderers over the same parts and reports their rates, their ratio and where a frame's
# time goes; then the whole show to .mp4 with the soundtrack through the portable renderer at
# 1280x720 and 1920x1080, and as Y4M to /dev/null (drawing and conversion alone), timed on the
# wall clock; the swell; and the cost of a frame drawn only for its drift.
set -euo pipefail
root=$(pwd)
cmake --preset bench >/dev/null
cmake --build --preset bench --target capture_bench dadadazo-capture soundtrack_gen >/dev/null
capture="$root/build/bench/tools/capture/dadadazo-capture"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$root/build/bench/tools/soundtrack/soundtrack_gen" tarmelipolkka.wav >/dev/null

echo "-- both renderers over the same parts (frames/s include the lead-in before each part;"
echo "   draw/convert (queueing the read)/read/hand-over: ms per frame on the drawing thread)"
"$root/build/bench/bench/capture/capture_bench" --benchmark_counters_tabular=true 2>/dev/null |
  grep -E '^(capture|Benchmark|-)'

# Runs the tool with the given arguments and prints its closing line and the wall time.
timed() {
  local what=$1 start end
  shift
  start=$(date +%s.%N)
  "$capture" "$@" 2>capture.log >/dev/null
  end=$(date +%s.%N)
  tail -n 1 capture.log
  awk -v w="$what" -v s="$start" -v e="$end" \
    'BEGIN { printf "%s: %.1f s of wall time (the show lasts 61 s)\n", w, e - s }'
}

echo
echo "-- the whole show, 3,661 frames, portable renderer"
timed "1280x720 to .mp4 with sound" --mode 2 --fps 60 -o show.mp4
timed "1920x1080 to .mp4 with sound" --mode 1 --fps 60 -o show-1080.mp4
timed "1280x720 as Y4M to /dev/null" --mode 2 --fps 60 -o -
rm -f show.mp4 show-1080.mp4

echo
echo "-- the swell alone (58 s to the end), portable renderer, to PNGs"
"$capture" --mode 2 --fps 60 --from 58000 -o swell 2>&1 | tail -n 1

echo
echo "-- a frame drawn only for its drift (before a --from part): 6 frames from 55 s against"
echo "   6 frames from 0 s, best of two each"
seconds() {
  local start end
  start=$(date +%s.%N)
  "$capture" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { print e - s }'
}
best() {
  local a b
  a=$(seconds "$@")
  b=$(seconds "$@")
  awk -v a="$a" -v b="$b" 'BEGIN { print (a < b ? a : b) }'
}
early=$(best --mode 2 --fps 60 --from 0 --to 100 -o early)
late=$(best --mode 2 --fps 60 --from 55000 --to 55100 -o late)
# 3,300 frames lie before the late part (55 s at 60 fps), none before the early one.
awk -v e="$early" -v l="$late" 'BEGIN { printf "a frame drawn only for its drift: %.2f ms " \
  "(from 55 s: %.2f s; from 0 s: %.2f s)\n", (l - e) * 1000 / 3300, l, e }'
