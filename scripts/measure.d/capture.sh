#!/usr/bin/env bash
# dadadazo-capture at 1280x720, 60 fps (the README's capture figures): the capture benchmark, which
# runs both renderers over the same parts and reports their rates and ratio, then the whole show
# to .mp4 with the soundtrack through the portable renderer, timed on the wall clock.
set -euo pipefail
root=$(pwd)
cmake --preset bench >/dev/null
cmake --build --preset bench --target capture_bench dadadazo-capture soundtrack_gen >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$root/build/bench/tools/soundtrack/soundtrack_gen" tarmelipolkka.wav >/dev/null

echo "-- both renderers over the same parts (frames/s include the lead-in before each part)"
"$root/build/bench/bench/capture/capture_bench" --benchmark_counters_tabular=true 2>/dev/null |
  grep -E '^(capture|Benchmark|-)'

echo
echo "-- the whole show, 3,661 frames, to .mp4 with the soundtrack, portable renderer"
start=$(date +%s.%N)
"$root/build/bench/tools/capture/dadadazo-capture" --mode 2 --fps 60 -o show.mp4 2>capture.log
end=$(date +%s.%N)
tail -n 1 capture.log
awk -v s="$start" -v e="$end" 'BEGIN { printf "wall time: %.1f s (the show lasts 61 s)\n", e - s }'

echo
echo "-- the swell alone (58 s to the end), portable renderer, to PNGs"
"$root/build/bench/tools/capture/dadadazo-capture" --mode 2 --fps 60 --from 58000 -o swell \
  2>&1 | tail -n 1
