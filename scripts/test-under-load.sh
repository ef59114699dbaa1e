#!/usr/bin/env bash
# Runs the test command (scripts/test.sh) several times in a row while stress-ng keeps every core
# busy, to show that no test depends on an idle machine.
#
#   bash scripts/test-under-load.sh [RUNS] [CTEST ARGUMENTS...]
#       RUNS: how many runs in a row (default 3); the rest goes to ctest, e.g.
#       bash scripts/test-under-load.sh 1 -R ShowWindow      (only the window tests, once)
#
# Each run's output goes to build/test-under-load/run-N.log. Prints each run's status, time and
# failed tests, and the machine's load; exits 1 when any run failed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
shift || true
if ! [[ $runs =~ ^[0-9]+$ ]] || [ "$runs" -lt 1 ]; then
  echo "usage: bash scripts/test-under-load.sh [RUNS] [CTEST ARGUMENTS...]" >&2
  exit 2
fi

bash scripts/install-deps.sh reliability
logs=build/test-under-load
mkdir -p "$logs"
cpus=$(nproc)

stress_pid=
stop_stress() {
  if [ -n "$stress_pid" ]; then
    kill "$stress_pid" 2>/dev/null || true
    wait "$stress_pid" 2>/dev/null || true
    stress_pid=
  fi
}
trap stop_stress EXIT

echo "machine: $cpus cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load: stress-ng --cpu $cpus (every core kept busy) for the whole of every run"
stress-ng --cpu "$cpus" --quiet &
stress_pid=$!
sleep 2
kill -0 "$stress_pid" 2>/dev/null || {
  echo "test-under-load.sh: stress-ng did not start" >&2
  exit 1
}

failed=0
for run in $(seq "$runs"); do
  log=$logs/run-$run.log
  started=$SECONDS
  status=0
  bash scripts/test.sh "$@" >"$log" 2>&1 || status=$?
  read -r load1 _ </proc/loadavg
  summary=$(grep -E 'tests passed, [0-9]+ tests failed' "$log" | tail -n 1 || true)
  echo "run $run of $runs: exit status $status after $((SECONDS - started)) s;" \
    "${summary:-no test summary}; load average $load1"
  if [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
    sed -n '/The following tests FAILED/,$p' "$log" | grep -E '^\s+[0-9]+ - ' || tail -n 20 "$log"
    echo "  (whole output: $log)"
  fi
done
stop_stress

if [ "$failed" -gt 0 ]; then
  echo "test-under-load.sh: $failed of $runs runs failed" >&2
  exit 1
fi
echo "test-under-load.sh: all $runs runs passed with every core busy"
