# Sourced by the end-to-end test scripts that run programs in scratch folders under $work, each
# with an X server of its own: fail, new_run_dir, start_xvfb, and the cleanup of both on exit.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

run_dir=
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if [ -n "$run_dir" ]; then
        rm -rf "$run_dir"
    fi
}
trap cleanup EXIT

# A scratch folder for this run.
new_run_dir() {
    run_dir=$(mktemp -d "$work/run.XXXXXX")
}

# An X server of its own on a free display; its display number is kept in the run's folder.
start_xvfb() {
    # -noreset: the server must not reset whenever its last client (a poll) disconnects.
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset 9>"$run_dir/display" \
        2>"$run_dir/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 200); do
        if [ -s "$run_dir/display" ]; then
            export DISPLAY=":$(head -n 1 "$run_dir/display")"
            return
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    cat "$run_dir/xvfb.log" >&2
    fail "Xvfb did not start"
}
