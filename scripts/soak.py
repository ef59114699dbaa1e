#!/usr/bin/env python3
"""Starts and ends the show many times in a row on one virtual X server, as a restless user
would: Esc, the window's close request, bursts of other keys and mouse motion first, and some
runs left alone to end by time. Checks that every run exits with status 0 and leaves no process
and no X window behind, and that the resident memory of a whole run stops growing after its
first seconds. Prints one line per run and the figures at the end; exits 1 on any failure.

Run through scripts/soak.sh, which builds the program first."""

import argparse
import ctypes
import ctypes.util
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

SHOW_SECONDS = 61.0
# Memory taken in the first seconds (the context, the first scenes, the sound) is settled by
# then; a run's resident size may not grow by more than this afterwards.
SETTLED_S = 10.0
ALLOWED_GROWTH_KIB = 2048
OTHER_KEYS = ["a", "q", "x", "1", "8", "Return", "space", "BackSpace", "Tab", "Up", "Left",
              "F1", "F11", "shift+a", "ctrl+c", "alt+x", "ctrl+q", "alt+Return", "Delete"]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


class X:
    """A connection to the virtual server, to ask windows to close as a window manager does."""

    def __init__(self, display):
        self.lib = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_long, ctypes.POINTER(XEvent)]
        self.lib.XFlush.argtypes = [ctypes.c_void_p]
        # A close request can reach a window whose show has just ended; Xlib's own handler
        # would end this script over it.
        self.on_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda display, event: 0)
        self.lib.XSetErrorHandler(self.on_error)
        self.display = self.lib.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot connect to " + display)

    def request_close(self, window):
        event = XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = self.lib.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = self.lib.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        self.lib.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.lib.XFlush(self.display)


def start_xvfb():
    """A private X server (tests/lib/private_xvfb.sh): it lasts while the script's standard input
    stays open, so it goes with this script however it ends."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "lib",
                          "private_xvfb.sh")
    server = subprocess.Popen(["bash", script, "1920x1080x24"], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    display = server.stdout.readline().decode().strip()
    server.stdout.close()
    if not display:
        server.stdin.close()
        server.wait()
        raise RuntimeError("Xvfb did not start")
    return server, display


def run_quiet(command, env):
    return subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout


def top_level_windows(env):
    """The ids of the root window's children."""
    out = run_quiet(["xwininfo", "-root", "-children"], env)
    return {line.split()[0] for line in out.splitlines() if line.strip().startswith("0x")}


def show_window(pid, env):
    out = run_quiet(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name",
                     "^Dadadazo$"], env).split()
    return int(out[-1]) if out else 0


def resident_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def session_processes(session):
    out = subprocess.run(["pgrep", "-s", str(session)], stdout=subprocess.PIPE, text=True).stdout
    return out.split()


def wait_for(process, seconds, rss=None, started=0.0):
    """Waits up to `seconds` for the process to end; samples its resident size meanwhile."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return True
        if rss is not None:
            kib = resident_kib(process.pid)
            if kib is not None:
                rss.append((time.monotonic() - started, kib))
        time.sleep(0.25 if rss is not None else 0.02)
    return process.poll() is not None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("runs", nargs="?", type=int, default=50)
    parser.add_argument("--timed", type=int, default=None,
                        help="runs left to end by time (default: one in ten, at least one)")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--program", required=True)
    parser.add_argument("--music", default="")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("runs must be at least 1")
    timed = max(1, args.runs // 10) if args.timed is None else min(args.timed, args.runs)
    seed = args.seed if args.seed is not None else random.randrange(1 << 32)
    rng = random.Random(seed)
    timed_runs = set(rng.sample(range(args.runs), timed))
    print(f"soak: {args.runs} runs, {timed} of them left to end by time; seed {seed} "
          f"(--seed {seed} repeats the same choices)")

    server, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    show_env = dict(env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="/dev/null")
    failures = []
    figures = {"appear": [], "end_after": [], "repeats": 0, "growth": [], "actions": {}}
    work = tempfile.mkdtemp(prefix="dadadazo-soak-")
    if args.music and os.path.exists(args.music):
        os.symlink(os.path.abspath(args.music), os.path.join(work, "tarmelipolkka.wav"))
    try:
        x = X(display)
        baseline = top_level_windows(env)
        for run in range(args.runs):
            result = soak_run(run, args, rng, run in timed_runs, x, env, show_env, work, baseline,
                              figures)
            if result:
                failures.append(f"run {run + 1}: {result}")
                print("  FAILED: " + result, flush=True)
    finally:
        server.stdin.close()
        server.wait()
        subprocess.run(["rm", "-rf", work])

    print()
    print(f"runs: {args.runs} ({', '.join(f'{n} {a}' for a, n in sorted(figures['actions'].items()))})")
    if figures["appear"]:
        print(f"window up after start: median {statistics.median(figures['appear']):.2f} s, "
              f"longest {max(figures['appear']):.2f} s")
    if figures["end_after"]:
        print(f"ended after Esc or close request: median {statistics.median(figures['end_after']):.3f} s, "
              f"longest {max(figures['end_after']):.3f} s; Esc or close sent again: "
              f"{figures['repeats']} times")
    for run, settled, peak, last in figures["growth"]:
        print(f"resident memory, run {run} (to its end by time): {settled} KiB at {SETTLED_S:.0f} s, "
              f"at most {peak} KiB after, {last} KiB at the end (+{peak - settled} KiB)")
    if failures:
        print(f"soak: {len(failures)} of {args.runs} runs failed (seed {seed}):")
        for failure in failures:
            print("  " + failure)
        return 1
    print(f"soak: all {args.runs} runs ended with status 0, leaving no process and no window")
    return 0


def soak_run(run, args, rng, by_time, x, env, show_env, work, baseline, figures):
    """One start and end of the show; returns what went wrong, or an empty string."""
    mode = rng.randint(1, 8)
    action = "time" if by_time else rng.choice(["esc", "close", "burst+esc", "burst+close"])
    delay = rng.uniform(0.0, 6.0)
    figures["actions"][action] = figures["actions"].get(action, 0) + 1
    # xdotool presses Esc through the server's test extension and then releases it on the same
    # window; when the show has already closed that window, the release never comes and the
    # server goes on holding Esc down, and SDL reports a held key as pressed to the next window
    # that gets the focus. Every run starts with Esc up.
    subprocess.run(["xdotool", "keyup", "Escape"], env=env, stderr=subprocess.DEVNULL)
    out_path = os.path.join(work, "stdout.txt")
    err_path = os.path.join(work, "stderr.txt")
    started = time.monotonic()
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        show = subprocess.Popen([os.path.abspath(args.program)], cwd=work, env=show_env, stdin=subprocess.PIPE,
                                stdout=out, stderr=err, start_new_session=True)
    show.stdin.write(f"{mode}\n".encode())
    show.stdin.close()

    def stderr_tail():
        with open(err_path, errors="replace") as err:
            return err.read()[-300:].strip()

    def stdout_tail():
        with open(out_path, errors="replace") as out:
            return out.read()[-60:].strip()

    window = 0
    while time.monotonic() - started < 60 and show.poll() is None:
        window = show_window(show.pid, env)
        if window:
            break
        time.sleep(0.05)
    appear = time.monotonic() - started
    if not window:
        show.kill()
        show.wait()
        return f"no window within {appear:.1f} s (status {show.returncode}): {stderr_tail()}"
    figures["appear"].append(appear)
    # Whatever the show does within a frame or two is given this long, more on a busy machine.
    patience = max(10.0, 3 * appear)

    done = ""
    if action == "time":
        rss = []
        limit = SHOW_SECONDS + max(40.0, 10 * appear)
        if not wait_for(show, limit - (time.monotonic() - started), rss, started):
            show.kill()
            show.wait()
            return f"still running {time.monotonic() - started:.1f} s after the start"
        lasted = time.monotonic() - started
        done = f"ended by itself after {lasted:.1f} s"
        if lasted < SHOW_SECONDS:
            return (f"ended by itself after only {lasted:.1f} s (status {show.returncode}, "
                    f"last output {stdout_tail()!r}): {stderr_tail()}")
        settled = [kib for t, kib in rss if t <= SETTLED_S]
        after = [kib for t, kib in rss if t > SETTLED_S]
        if settled and after:
            figures["growth"].append((run + 1, settled[-1], max(after), after[-1]))
            if max(after) - settled[-1] > ALLOWED_GROWTH_KIB:
                return (f"resident memory grew from {settled[-1]} KiB at {SETTLED_S:.0f} s to "
                        f"{max(after)} KiB")
    else:
        time.sleep(delay)
        burst = ""
        if action.startswith("burst"):
            moves = keys = 0
            for _ in range(rng.randint(3, 25)):
                if rng.random() < 0.5:
                    command = ["xdotool", "mousemove", "--window", str(window),
                               str(rng.randint(0, 1919)), str(rng.randint(0, 1079))]
                    moves += 1
                else:
                    command = ["xdotool", "key", "--window", str(window), rng.choice(OTHER_KEYS)]
                    keys += 1
                subprocess.run(command, env=env, stderr=subprocess.DEVNULL)
                time.sleep(rng.uniform(0.0, 0.1))
            burst = (f"{keys} key{'s' * (keys != 1)} and {moves} move{'s' * (moves != 1)}, "
                     "then ")
            if show.poll() is not None:
                return (f"ended on other keys or mouse motion (status {show.returncode}, "
                        f"last output {stdout_tail()!r}): {stderr_tail()}")
        ending = "Esc" if action.endswith("esc") else "close request"
        if show.poll() is not None:
            return (f"ended before the {ending} was sent (status {show.returncode}, "
                    f"last output {stdout_tail()!r}): {stderr_tail()}")
        for attempt in range(3):
            if attempt > 0:
                figures["repeats"] += 1
                window = show_window(show.pid, env) or window
            sent = time.monotonic()
            if ending == "Esc":
                subprocess.run(["xdotool", "key", "--window", str(window), "Escape"], env=env,
                               stderr=subprocess.DEVNULL)
            else:
                x.request_close(window)
            if wait_for(show, patience):
                break
        else:
            show.kill()
            show.wait()
            return f"did not end on {ending} (sent three times, {patience:.0f} s apart)"
        figures["end_after"].append(time.monotonic() - sent)
        done = (f"{burst}{ending} {delay:.1f} s after the window appeared: ended "
                f"{time.monotonic() - sent:.2f} s later"
                + (f" (sent {attempt + 1} times)" if attempt else ""))

    status = show.returncode
    with open(out_path, errors="replace") as out:
        frames = sum(1 for line in out if line.rstrip().endswith(".") and line[0].isdigit())
    print(f"run {run + 1}/{args.runs}: mode {mode}, {done}; status {status}, {frames} frames",
          flush=True)
    problems = []
    if status != 0:
        problems.append(f"exit status {status}: {stderr_tail()}")
    left = session_processes(show.pid)
    if left:
        problems.append(f"processes left behind: {' '.join(left)}")
    # The server takes the windows of a client that has gone away; it is given a moment.
    deadline = time.monotonic() + 10
    extra = top_level_windows(env) - baseline
    while extra and time.monotonic() < deadline:
        time.sleep(0.1)
        extra = top_level_windows(env) - baseline
    if extra:
        problems.append(f"X windows left behind: {' '.join(sorted(extra))}")
    return "; ".join(problems)


if __name__ == "__main__":
    sys.exit(main())
