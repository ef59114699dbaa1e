# Sourced by the end-to-end test scripts that run programs in scratch folders under $work, each
# with an X server of its own: fail, new_run_dir, start_xvfb, start_sound_sink, and the cleanup
# of them on exit; fresh_wine_prefix for the tests that run the Windows program.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

run_dir=
xvfb_pid=
sound_runtime=
cleanup() {
    if [ -n "$sound_runtime" ]; then
        XDG_RUNTIME_DIR=$sound_runtime pulseaudio --kill 2>/dev/null || true
    fi
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

# An X server of its own (private_xvfb.sh beside this file) on a free display, exported as
# DISPLAY, its screen SCREEN as Xvfb takes it (1280x1024x24 when not given). The server goes
# when this shell does, however it ends.
start_xvfb() {
    local screen=${1:-1280x1024x24}
    coproc xvfb_script {
        exec bash "$(dirname "${BASH_SOURCE[0]}")/private_xvfb.sh" "$screen" \
            2>"$run_dir/xvfb.log"
    }
    xvfb_pid=$xvfb_script_PID
    local display=
    read -r -t 120 -u "${xvfb_script[0]}" display 2>/dev/null || true
    if [ -z "$display" ]; then
        cat "$run_dir/xvfb.log" >&2
        fail "Xvfb did not start"
    fi
    export DISPLAY=$display
}

# A sound device that plays into nothing: a PulseAudio server of this run's own (in the run
# folder, so that it shares nothing with another test's) with one null sink, exported as
# PULSE_SERVER. A browser on a machine without a sound card otherwise holds its audio contexts
# suspended for ever. The server is stopped on exit.
start_sound_sink() {
    sound_runtime=$run_dir/sound
    mkdir -p "$sound_runtime"
    XDG_RUNTIME_DIR=$sound_runtime HOME=$sound_runtime pulseaudio --daemonize=yes -n \
        --exit-idle-time=-1 --disable-shm=yes --use-pid-file=yes \
        --load="module-null-sink sink_name=nowhere" --load=module-native-protocol-unix \
        --log-target="file:$run_dir/sound.log" ||
        fail "PulseAudio did not start: $(cat "$run_dir/sound.log" 2>/dev/null)"
    local socket=$sound_runtime/pulse/native
    for _ in $(seq 100); do
        [ -S "$socket" ] && break
        sleep 0.1
    done
    [ -S "$socket" ] || fail "PulseAudio made no socket: $(cat "$run_dir/sound.log")"
    export PULSE_SERVER=unix:$socket
}

# A fresh wine prefix in $WINEPREFIX, made without a display. A wine server left from an earlier
# run is stopped first: it would write into the old prefix while it goes. Without a window
# manager, wine must manage its windows itself, or destroying one stalls for two seconds. Each
# argument sets one more registry value, given as "KEY|NAME|VALUE".
fresh_wine_prefix() {
    unset DISPLAY
    if [ -d "$WINEPREFIX" ]; then
        timeout -k 10 30 wineserver -k >/dev/null 2>&1 || true
        timeout -k 10 30 wineserver -w || true
    fi
    rm -rf "$WINEPREFIX"
    timeout -k 10 180 wineboot --init >/dev/null 2>&1 || fail "wineboot failed"
    timeout -k 10 60 wineserver -w
    local setting key name value
    for setting in 'HKCU\Software\Wine\X11 Driver|Managed|N' "$@"; do
        IFS='|' read -r key name value <<<"$setting"
        timeout -k 10 60 wine reg add "$key" /v "$name" /d "$value" /f >/dev/null 2>&1 ||
            fail "cannot set $name in $key"
    done
    timeout -k 10 60 wineserver -w
}
