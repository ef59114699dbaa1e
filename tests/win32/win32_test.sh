#!/usr/bin/env bash
# The Windows program under wine on a virtual X server.
#
#   win32_test.sh prepare SOURCE WORK       cross-build the Windows tree into WORK/windows and
#                                           make a fresh wine prefix in WORK/wineprefix
#   win32_test.sh checks SOURCE WORK        run the backend's own checks
#   win32_test.sh show-esc SOURCE WORK MUSIC PIXELS
#                                           mode 7: wait for the window, see points drawn in it
#                                           (PIXELS is the window_pixels tool), press Esc;
#                                           status 0 and the time lines on stdout
#   win32_test.sh show-by-time SOURCE WORK MUSIC
#                                           mode 4: the show ends by itself after 61 s, status 0
#
# The shows run in a scratch folder holding a copy of MUSIC as the soundtrack, where it exists.
# Every wine call runs under `timeout`; a crash exits at once (no debugger is started).
set -euo pipefail

command=$1
source_dir=$2
work=$3
music=${4:-}
pixels=${5:-}

build=$work/windows
export WINEPREFIX=$work/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
# No debugger on a crash, and no offer to install .NET or a browser engine into the prefix.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

. "$(dirname "${BASH_SOURCE[0]}")/../lib/scratch_and_xvfb.sh"

prepare() {
    [ -x "$(command -v wine)" ] || fail "wine is not installed (scripts/install-deps.sh)"
    (cd "$work" && cmake -S "$source_dir" -B "$build" --preset windows -DDADADAZO_TESTS=ON \
        >/dev/null)
    cmake --build "$build"
    [ -f "$build/dadadazo.exe" ] || fail "no dadadazo.exe"
    # The build checks the subsystem on every run; check the finished program once more.
    cmake -DPROGRAM="$build/dadadazo.exe" -P "$source_dir/platform/win32/check_console.cmake"

    # A fresh prefix for every test run.
    fresh_wine_prefix
}

checks() {
    new_run_dir
    start_xvfb
    local status=0
    timeout -k 5 120 wine "$build/tests/win32/platform_win32_check.exe" >"$run_dir/out" \
        2>"$run_dir/err" || status=$?
    tr -d '\r' <"$run_dir/out"
    cat "$run_dir/err" >&2
    [ "$status" -eq 0 ] || fail "the backend checks ended with status $status"
}

# Starts the show in the background with `answer` typed at the menu.
start_show() {
    local answer=$1
    cd "$run_dir"
    if [ -f "$music" ]; then
        cp "$music" "$run_dir/tarmelipolkka.wav"
    fi
    printf '%s\n' "$answer" | timeout -k 5 "$2" wine "$build/dadadazo.exe" >"$run_dir/raw" \
        2>"$run_dir/err" &
    show_pid=$!
}

# The X11 id of the show's window, or nothing. Wine may replace the X window behind a Windows
# window (when the pixel format is set, for one), so it is looked up afresh each time.
show_window() {
    xdotool search --name '^Dadadazo$' 2>/dev/null | tail -n 1 || true
}

# Waits for the show's window (up to 120 s: wine starting on a busy machine is slow) and sets
# window_s to the whole seconds it took to appear, for the waits that follow to scale with.
wait_for_window() {
    local started=$SECONDS
    while [ $((SECONDS - started)) -lt 120 ]; do
        if [ -n "$(show_window)" ]; then
            window_s=$((SECONDS - started))
            echo "the window appeared after $window_s s"
            return
        fi
        kill -0 "$show_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$run_dir/err" >&2
    fail "no Dadadazo window appeared within $((SECONDS - started)) s"
}

# The console output without carriage returns: the menu, then one time line per frame.
check_output() {
    tr -d '\r' <"$run_dir/raw" >"$run_dir/out"
    cat >"$run_dir/menu" <<'MENU'
Paljonkos pannaan?: 
1 1920x1080 (Full Screen)
2 1280x720(Full Screen)
3 800x600(Full Screen)
4 480x320(Full Screen)

5 1920x1080(windowed)
6 1280x720(windowed)
7 800x600(windowed)
8 480x320(windowed)
MENU
    head -n 10 "$run_dir/out" | cmp -s - "$run_dir/menu" || {
        head -n 12 "$run_dir/out" >&2
        fail "the menu is not as expected"
    }
    tail -n +11 "$run_dir/out" >"$run_dir/times"
    [ -s "$run_dir/times" ] || fail "no time lines"
    if grep -v -q -E '^[0-9]+\.[0-9]{6}\.$' "$run_dir/times"; then
        grep -v -E '^[0-9]+\.[0-9]{6}\.$' "$run_dir/times" | head -n 5 >&2
        fail "stdout holds more than time lines"
    fi
    [ "$(head -n 1 "$run_dir/times")" = "0.000000." ] || fail "the first time line is not 0"
    sort -n -c "$run_dir/times" 2>/dev/null || fail "the time lines run backwards"
    echo "$(wc -l <"$run_dir/times") frames, last at $(tail -n 1 "$run_dir/times")"
}

show_esc() {
    new_run_dir
    start_xvfb
    start_show 7 300
    wait_for_window

    # Points appear in the middle of the window once the show draws: allowed 30 s, or ten times
    # what the window took to appear.
    local lit=0 window limit started=$SECONDS
    limit=$((window_s * 10 > 30 ? window_s * 10 : 30))
    while [ $((SECONDS - started)) -lt "$limit" ]; do
        window=$(show_window)
        lit=$("$pixels" "$window" 2>/dev/null) || lit=0
        [ "$lit" -ge 50 ] && break
        kill -0 "$show_pid" 2>/dev/null || fail "the show ended before drawing"
        sleep 0.1
    done
    [ "$lit" -ge 50 ] ||
        fail "nothing drawn in the window within $limit s ($lit lit pixels; the window took" \
            "$window_s s to appear)"
    echo "$lit lit pixels in the middle of the window after $((SECONDS - started)) s"

    # Esc, again while the show runs on: the X window it went to may have been replaced. The
    # show must not reach its end by time, which leaves it close to a minute.
    started=$SECONDS
    while [ $((SECONDS - started)) -lt 50 ]; do
        window=$(show_window)
        [ -n "$window" ] && xdotool key --window "$window" Escape 2>/dev/null || true
        for _ in $(seq 20); do
            kill -0 "$show_pid" 2>/dev/null || break 2
            sleep 0.1
        done
    done
    if kill -0 "$show_pid" 2>/dev/null; then
        fail "the show did not end within $((SECONDS - started)) s of Esc, pressed every 2 s"
    fi
    echo "the show ended $((SECONDS - started)) s after the first Esc"
    local status=0
    wait "$show_pid" || status=$?
    cat "$run_dir/err" >&2
    [ "$status" -eq 0 ] || fail "exit status $status after Esc"
    check_output
    local last
    last=$(tail -n 1 "$run_dir/times")
    awk -v t="$last" 'BEGIN { exit !(t < 61.0) }' || fail "the show ran to its end: $last"
}

show_by_time() {
    new_run_dir
    start_xvfb
    local started=$SECONDS
    start_show 4 300
    wait_for_window
    local status=0
    wait "$show_pid" || status=$?
    local elapsed=$((SECONDS - started))
    cat "$run_dir/err" >&2
    [ "$status" -eq 0 ] || fail "exit status $status"
    check_output
    local last
    last=$(tail -n 1 "$run_dir/times")
    # The show ends on the first clock reading past 61 s, so it ran at least that long after it
    # was started. (Its output reaches the file in blocks, so the first time line's moment is not
    # seen here.) The last frame drawn had a reading of at most 61 s; how long before 61 s it lies
    # depends on how long its frame took, which no time line shows.
    [ "$elapsed" -ge 61 ] ||
        fail "the show ended $elapsed s after it was started; the last time line: $last"
    awk -v t="$last" 'BEGIN { exit !(t <= 61.0) }' || fail "a frame was drawn at $last"
    echo "ended by itself after $elapsed s; the last time line: $last"
}

case $command in
prepare) prepare ;;
checks) checks ;;
show-esc) show_esc ;;
show-by-time) show_by_time ;;
*) fail "unknown command $command" ;;
esac
