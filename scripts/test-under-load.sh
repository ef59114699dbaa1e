#!/usr/bin/env bash
# Runs the test command (scripts/test.sh) several times in a row while stress-ng keeps every core
# busy, to show that no test depends on an idle machine, and to find the tests that do.
#
#   bash scripts/test-under-load.sh [RUNS] [CTEST ARGUMENTS...]
#       RUNS: how many runs in a row (default 3); the rest goes to ctest, e.g.
#       bash scripts/test-under-load.sh 1 -R ShowWindow      (only the window tests, once)
#       bash scripts/test-under-load.sh 1 --repeat until-fail:50 -R 'CaptureTool.TheClosing'
#                                          (one test up to 50 times, stopping at its first failure)
#       bash scripts/test-under-load.sh 20 -R 'ShowWindow'  (20 runs: how often each one fails)
#
# Each run's output goes to build/test-under-load/run-N.log. Prints each run's status, time and
# failed tests, and the machine's load, and at the end one list of every test that failed in any
# run with the number of runs it failed in; exits 1 when any run failed.
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
# Every failed test's name, once per run it failed in; runs that ended without a test summary.
failures=()
broken_runs=()
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
    # ctest's list: "	 12 - ShowWindow.EscapeEndsTheShowWithStatusZero (Failed)".
    names=$(sed -n '/The following tests FAILED/,$p' "$log" |
      sed -n -E 's/^\s+[0-9]+ - (.*) \([^)]*\)$/\1/p' | sort -u)
    if [ -n "$names" ]; then
      sed 's/^/  failed: /' <<<"$names"
      mapfile -t -O "${#failures[@]}" failures <<<"$names"
    else
      tail -n 20 "$log"
      broken_runs+=("$run")
    fi
    echo "  (whole output: $log)"
  fi
done
stop_stress

if [ "$failed" -gt 0 ]; then
  echo
  echo "Tests that failed, with the number of runs (of $runs) they failed in:"
  if [ "${#failures[@]}" -gt 0 ]; then
    printf '%s\n' "${failures[@]}" | sort | uniq -c | sort -k1,1nr -k2 |
      awk '{ count = $1; $1 = ""; printf "  %s: %d of '"$runs"'\n", substr($0, 2), count }'
  fi
  if [ "${#broken_runs[@]}" -gt 0 ]; then
    echo "  runs that ended without a test summary (the build or ctest failed): ${broken_runs[*]}"
  fi
  echo "test-under-load.sh: $failed of $runs runs failed" >&2
  exit 1
fi
echo "test-under-load.sh: all $runs runs passed with every core busy"
