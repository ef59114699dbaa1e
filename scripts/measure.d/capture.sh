#!/usr/bin/env bash
# The capture tool's throughput (the README's capture figures): frames per second for two
# seconds of each scene at 1280x720, 60 fps, to PNGs and to H.264 (bench/capture), then the
# whole show to .mp4 as a user runs it, and the cost of a frame drawn only for its drift (a part
# late in the show against the same number of frames at its start; paired runs, best of two).
set -euo pipefail
cmake --preset bench >/dev/null
cmake --build --preset bench --target capture_bench >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
build/bench/bench/capture/capture_bench 2>/dev/null | grep -E 'Benchmark|capture_'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tool=$PWD/build/release/tools/capture/dadadazo-capture
# Seconds one capture takes, run from the folder where the soundtrack lies.
seconds() {
  if ! (cd build/release && /usr/bin/time -f %e -o "$scratch/time" "$tool" "$@" \
    >/dev/null 2>"$scratch/err"); then
    cat "$scratch/err" >&2
    echo "capture.sh: dadadazo-capture $* failed" >&2
    exit 1
  fi
  cat "$scratch/time"
}
echo "whole show, 1280x720, 60 fps, to .mp4: $(seconds --mode 6 --fps 60 -o "$scratch/show.mp4") s" \
  "for 3661 frames"
best() {
  local a b
  a=$(seconds "$@")
  b=$(seconds "$@")
  awk -v a="$a" -v b="$b" 'BEGIN { print (a < b ? a : b) }'
}
early=$(best --mode 6 --fps 60 --from 0 --to 100 -o "$scratch/early")
late=$(best --mode 6 --fps 60 --from 55000 --to 55100 -o "$scratch/late")
# 3300 frames lie before the late part (55 s at 60 fps), none before the early one.
awk -v e="$early" -v l="$late" 'BEGIN { printf "a frame drawn only for its drift: %.2f ms " \
  "(6 frames from 55 s: %s s; from 0 s: %s s)\n", (l - e) * 1000 / 3300, l, e }'
