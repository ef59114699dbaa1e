#!/usr/bin/env bash
# Fuzzes everything that reads outside input: builds the `fuzz` preset (clang, libFuzzer,
# AddressSanitizer, UBSan) and runs each target for SECONDS seconds (default 60), starting from
# its seed corpus in fuzz/AREA/corpus.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     e.g.  bash scripts/fuzz.sh 300 music_loop
#
# Inputs found to reach new code are kept in build/fuzz/corpus/TARGET between runs. A crash, a
# hang (an input taking over 10 s), a leak, running out of memory (2 GiB in all, or 256 MiB in
# one allocation: no input of 4 KiB needs that) or any sanitizer report stops that target, leaves
# the input as build/fuzz/findings/TARGET-*, and makes the script exit 1 once every target has
# run. To keep a finding as a test, copy it into the target's corpus folder: the test suite
# replays every file there.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi
declare -A corpus_of=([readings]=fuzz/readings [capture_options]=fuzz/capture
                      [music_loop]=fuzz/music)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(readings capture_options music_loop)
fi
for target in "${targets[@]}"; do
    if [ -z "${corpus_of[$target]:-}" ]; then
        echo "fuzz.sh: no target named '$target' (${!corpus_of[*]})" >&2
        exit 2
    fi
done

bash scripts/install-deps.sh show reliability
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build/fuzz/corpus build/fuzz/findings build/fuzz/logs
failed=()
for target in "${targets[@]}"; do
    area=${corpus_of[$target]}
    work=build/fuzz/corpus/$target
    log=build/fuzz/logs/$target.log
    mkdir -p "$work"
    dict=()
    if [ -f "$area/$target.dict" ]; then
        dict=(-dict="$area/$target.dict")
    fi
    echo "== $target: $seconds s"
    status=0
    build/fuzz/fuzz/bin/${target}_fuzz "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/findings/$target-" "$work" "$area/corpus" \
        >"$log" 2>&1 || status=$?
    grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$log" | tr '\n' ' ' || true
    echo
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        echo "FAILED: $target (exit status $status); the report, from $log:" >&2
        grep -E -A 30 '^==[0-9]+==|ERROR: libFuzzer|runtime error|broken:' "$log" | head -n 60 >&2
        ls build/fuzz/findings/"$target"-* 2>/dev/null >&2 || true
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz.sh: no findings in ${targets[*]} ($seconds s each)"
