#!/usr/bin/env bash
# draw_frame per scene, every GL call going to a recorder that discards it: CPU time per frame,
# median of 5 repetitions (the README's "Speed" table).
set -euo pipefail
cmake --preset bench >/dev/null
cmake --build --preset bench --target frame_bench >/dev/null
build/bench/bench/frame/frame_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median|Benchmark'
