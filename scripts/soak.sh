#!/usr/bin/env bash
# Long runs: starts and ends the show RUNS times in a row (default 50) on one virtual X server
# with random timing (Esc, the window's close request, bursts of other keys and mouse motion,
# and one run in ten left to end by time), and checks every exit status, that no process or X
# window is left behind, and that a whole run's resident memory stops growing after its first
# seconds. Uses the release build (built here first); sound goes to SDL's disk driver.
#
#   bash scripts/soak.sh [RUNS] [--timed N] [--seed S]
#       e.g. bash scripts/soak.sh 6 --timed 1     (a short check: about two minutes)
#
# 50 runs take about ten minutes. The seed printed first repeats a run's choices.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh show tests reliability
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
exec python3 scripts/soak.py --program build/release/dadadazo \
  --music build/release/tarmelipolkka.wav "$@"
