#!/usr/bin/env bash
# Takes every speed and memory figure the README gives: runs each scripts/measure.d/*.sh in turn
# (or only those named: bash scripts/measure.sh capture web) and prints what they report. Run it
# on an idle machine: it says the machine and its load average first, and warns when busy.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)," \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
read -r load1 load5 _ </proc/loadavg
echo "load average before: $load1 (1 min), $load5 (5 min)"
if awk -v l="$load1" 'BEGIN { exit !(l > 0.5) }'; then
  echo "warning: the machine is busy; these figures are not the idle ones the README gives" >&2
fi

scripts=()
if [ $# -eq 0 ]; then
  scripts=(scripts/measure.d/*.sh)
else
  for name in "$@"; do
    scripts+=("scripts/measure.d/$name.sh")
  done
fi
for script in "${scripts[@]}"; do
  echo
  echo "== $(basename "$script" .sh)"
  bash "$script"
done
