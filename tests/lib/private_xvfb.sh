#!/usr/bin/env bash
# A private X server for one test: Xvfb on a display number it picks itself (-displayfd), so
# tests running side by side never meet.
#
#   private_xvfb.sh [SCREEN]        SCREEN as Xvfb takes it, 1920x1080x24 by default
#
# Prints the display (":N") on a line of its own once the server takes connections, then keeps
# the server until its own standard input ends (the caller closed its end of the pipe, or went
# away, however it ended) or it is sent TERM, INT or HUP, and then ends the server and waits for
# it. A start that fails (two servers racing for one number on a busy machine) is tried again,
# three times in all; then it exits with status 1 and the server's log on stderr.
set -u

screen=${1:-1920x1080x24}
server=
watcher=
scratch=$(mktemp -d "${TMPDIR:-/tmp}/private-xvfb.XXXXXX") || exit 1

stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
        server=
    fi
}
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; stop_server; rm -rf "$scratch"' EXIT
trap 'exit 1' TERM INT HUP

# start_server: starts Xvfb and waits for its display number; false when it ended or gave none.
start_server() {
    : >"$scratch/display"
    # -noreset: the server must not reset whenever its last client (a poll) disconnects.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$scratch/display" \
        </dev/null >"$scratch/log" 2>&1 &
    server=$!
    # The server writes its number once it takes connections; a busy machine may take a while.
    for _ in $(seq 600); do
        if [ -n "$(head -n 1 "$scratch/display")" ]; then
            return 0
        fi
        kill -0 "$server" 2>/dev/null || break
        sleep 0.05
    done
    stop_server
    return 1
}

for attempt in 1 2 3; do
    if start_server; then
        echo ":$(head -n 1 "$scratch/display")"
        # The caller reads one line; nothing more comes.
        exec >&-
        # Waits for the end of standard input, whatever is written to it; in the background, as
        # a signal's trap runs only once the command waited for has ended.
        exec 4<&0
        cat <&4 >/dev/null &
        watcher=$!
        wait "$watcher"
        watcher=
        exit 0
    fi
done
echo "private_xvfb.sh: Xvfb did not start ($attempt tries); its log:" >&2
cat "$scratch/log" >&2
exit 1
