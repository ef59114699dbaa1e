#!/usr/bin/env bash
# Frame figures, both by default or the one named (bash scripts/measure.d/frame.sh bench|live):
# - bench: draw_frame per scene, every GL call going to a recorder that discards it: CPU time per
#   frame, median of 5 repetitions (the README's "Speed" table);
# - live: the whole show at 800x600 (menu digit 3) under Xvfb, with --renderer gl11, with
#   --renderer portable and with --renderer portable --gentle, one after the other: frames per
#   second in each scene, counted from the time lines the show writes (its 10 ms pause after each
#   frame included). About three minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
part=${1:-all}

if [ "$part" = all ] || [ "$part" = bench ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target frame_bench >/dev/null
  build/bench/bench/frame/frame_bench --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median|Benchmark'
fi

if [ "$part" = all ] || [ "$part" = live ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target dadadazo >/dev/null
  work=$(mktemp -d)
  # shellcheck source=../../tests/lib/scratch_and_xvfb.sh
  source tests/lib/scratch_and_xvfb.sh
  new_run_dir
  start_xvfb
  printf '%-15s %10s %10s %10s %10s %10s %10s\n' renderer "wave field" rosettes "ring stack" \
    "twin clouds" "wave rows" swell
  for renderer in gl11 portable portable-gentle; do
    options=(--renderer "${renderer%-gentle}")
    if [ "$renderer" = portable-gentle ]; then options+=(--gentle); fi
    echo 3 | SDL_AUDIODRIVER=dummy build/release/dadadazo "${options[@]}" \
      >"$run_dir/$renderer.txt" 2>"$run_dir/$renderer.err" ||
      { cat "$run_dir/$renderer.err" >&2; fail "the show failed with ${options[*]}"; }
    # Frames per second within each scene's time window: (frames - 1) / (last - first reading).
    awk -v renderer="$renderer" '
      BEGIN { split("0 8 12 20 40 58 61.1", edge, " ") }
      /^[0-9]+\.[0-9]+\.$/ {
        t = $0 + 0
        for (s = 1; s <= 6; ++s) {
          if (t > edge[s] && t < edge[s + 1]) {
            if (count[s] == 0) { first[s] = t }
            last[s] = t
            ++count[s]
          }
        }
      }
      END {
        printf "%-15s", renderer
        for (s = 1; s <= 6; ++s) {
          span = last[s] - first[s]
          rate = 0
          if (span > 0) { rate = (count[s] - 1) / span }
          printf " %10.1f", rate
        }
        printf "\n"
      }' "$run_dir/$renderer.txt"
  done
  rm -rf "$work"
fi
