#!/usr/bin/python3
"""Counts the show's flashes per second, as WCAG 2.3.1 (Three Flashes or Below Threshold) defines
them, from the capture tool's YUV4MPEG2 stream:

    build/release/tools/capture/dadadazo-capture --mode 8 --fps 60 --chroma 444 -o - |
        scripts/flash-check.py

What it measures, and at what viewing size:
  - The picture at its own pixels on a screen of the density WCAG's estimate uses (1024 x 768 on
    a 15 to 17 inch screen at 22 to 26 inches), where a 10-degree field is 341 x 256 pixels. The
    area that matters is 25% of that field: every area of that size (170 x 128 pixels, placed
    every 16 pixels) is followed through the show by its mean colour.
  - Relative luminance: BT.709 limited-range YUV back to sRGB, linearised, then
    0.2126 R + 0.7152 G + 0.0722 B.
  - A general transition: the area's relative luminance moves by at least 0.1 from one extreme
    to the opposite one, the darker of the two below 0.8. A flash is a pair of opposing
    transitions, so an area's flashes in a second are half its transitions.
  - A red transition: a change to or from a saturated red (R / (R + G + B) >= 0.8, linear
    components) whose chromaticity moves more than 0.2 in the CIE 1976 u'v' diagram; black and
    near-black count as the white point's chromaticity.
  - A second is any one-second window of whole frames: one starts at every frame, as WCAG's
    "any one-second period" asks. A transition belongs to the frame that completes it.

It prints, per half second of the show, the most flashes of any such area in the windows that
start in it (general and red), then the worst window and the stretches of window starts over
three. Exit status 0 when no window goes over three, 1 when some do, 2 on a malformed stream.
"""

import argparse
import sys

import numpy as np


def read_header(stream):
    line = stream.readline()
    if not line.startswith(b"YUV4MPEG2 "):
        raise ValueError("not a YUV4MPEG2 stream")
    fields = {}
    for token in line.split()[1:]:
        fields.setdefault(chr(token[0]), token[1:].decode())
    width, height = int(fields["W"]), int(fields["H"])
    num, den = (int(x) for x in fields["F"].split(":"))
    chroma = fields.get("C", "420jpeg")
    if not chroma.startswith("444"):
        raise ValueError(f"chroma {chroma}: take the stream with --chroma 444")
    return width, height, num / den


def frames(stream, width, height):
    size = width * height
    while True:
        tag = stream.readline()
        if not tag:
            return
        if not tag.startswith(b"FRAME"):
            raise ValueError("lost the frame boundaries")
        data = stream.read(3 * size)
        if len(data) < 3 * size:
            raise ValueError("the stream ends inside a frame")
        yield np.frombuffer(data, dtype=np.uint8).reshape(3, height, width)


def to_linear(c):
    c = np.clip(c, 0.0, 1.0)
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4).astype(np.float32)


def code_values(offset, scale):
    return (np.arange(256, dtype=np.float32) - offset) / scale


class LinearRGB:
    """BT.709, limited range (16-235 luma, 16-240 chroma), back to sRGB values, then linear light,
    from tables: red depends on Y and Cr, blue on Y and Cb, green on all three."""

    def __init__(self):
        y = code_values(16.0, 219.0)[:, None]
        cb = code_values(128.0, 224.0)[None, :]
        cr = code_values(128.0, 224.0)[None, :]
        self.red = to_linear(y + 1.5748 * cr).ravel()
        self.blue = to_linear(y + 1.8556 * cb).ravel()
        self.green = to_linear((y - 0.1873 * cb)[:, :, None] - 0.4681 * cr[:, None, :]).ravel()

    def __call__(self, planes):
        y, cb, cr = (p.astype(np.int32) for p in planes)
        return np.stack([self.red[(y << 8) | cr], self.green[(y << 16) | (cb << 8) | cr],
                         self.blue[(y << 8) | cb]])


WHITE_UV = np.array([0.1978, 0.4683], dtype=np.float32)  # D65


def luminance_and_chroma(rgb):
    r, g, b = rgb
    lum = 0.2126 * r + 0.7152 * g + 0.0722 * b
    x = 0.4124 * r + 0.3576 * g + 0.1805 * b
    z = 0.0193 * r + 0.1192 * g + 0.9505 * b
    den = x + 15.0 * lum + 3.0 * z
    dark = np.max(rgb, axis=0) < 0.01
    safe = np.where(dark, 1.0, den)
    u = np.where(dark, WHITE_UV[0], 4.0 * x / safe)
    v = np.where(dark, WHITE_UV[1], 9.0 * lum / safe)
    total = r + g + b
    red = ~dark & (r >= 0.8 * np.where(total > 0, total, 1.0))
    return lum, np.stack([u, v]), red


class GeneralTransitions:
    """Per pixel: the extreme reached since the last transition and the direction it ran."""

    def __init__(self, lum):
        self.extreme = lum.copy()
        self.low = lum.copy()
        self.high = lum.copy()
        self.direction = np.zeros(lum.shape, dtype=np.int8)

    def step(self, lum):
        d = self.direction
        # Running extremes of the current run (both while no direction is known yet).
        self.extreme = np.where(d > 0, np.maximum(self.extreme, lum),
                                np.where(d < 0, np.minimum(self.extreme, lum), self.extreme))
        self.low = np.minimum(self.low, lum)
        self.high = np.maximum(self.high, lum)
        rising = (((d < 0) & (lum >= self.extreme + 0.1) & (self.extreme < 0.8)) |
                  ((d == 0) & (lum >= self.low + 0.1) & (self.low < 0.8)))
        falling = (((d > 0) & (lum <= self.extreme - 0.1) & (lum < 0.8)) |
                   ((d == 0) & (lum <= self.high - 0.1) & (lum < 0.8)))
        turned = rising | falling
        self.direction = np.where(rising, 1, np.where(falling, -1, d)).astype(np.int8)
        self.extreme = np.where(turned, lum, self.extreme)
        return turned


class RedTransitions:
    """Per pixel: the state at its last red transition."""

    def __init__(self, uv, red):
        self.uv = uv.copy()
        self.red = red.copy()

    def step(self, uv, red):
        moved = np.hypot(uv[0] - self.uv[0], uv[1] - self.uv[1]) > 0.2
        turned = moved & (red | self.red)
        self.uv = np.where(turned, uv, self.uv)
        self.red = np.where(turned, red, self.red)
        return turned


def area_means(rgb, area, stride):
    """The mean linear colour of every area x stride placement: shape (3, placements)."""
    _, height, width = rgb.shape
    aw, ah = min(area[0], width), min(area[1], height)
    if ah % stride == 0:
        # Areas are whole bands of `stride` rows: sum the bands, then slide along them.
        bands = height // stride
        rows = rgb[:, : bands * stride].reshape(3, bands, stride, width).sum(2, dtype=np.float64)
        tall = np.pad(rows.cumsum(1), ((0, 0), (1, 0), (0, 0)))
        tall = tall[:, ah // stride :] - tall[:, : bands + 1 - ah // stride]
        wide = np.pad(tall.cumsum(2), ((0, 0), (0, 0), (1, 0)))
        lefts = np.arange(0, width - aw + 1, stride)
        total = wide[:, :, lefts + aw] - wide[:, :, lefts]
        return total.reshape(3, -1) / float(aw * ah)
    sums = np.pad(rgb, ((0, 0), (1, 0), (1, 0))).cumsum(1).cumsum(2)
    tops = np.arange(0, height - ah + 1, stride)
    lefts = np.arange(0, width - aw + 1, stride)
    t, l = (x.ravel() for x in np.meshgrid(tops, lefts, indexing="ij"))
    total = sums[:, t + ah, l + aw] - sums[:, t, l + aw] - sums[:, t + ah, l] + sums[:, t, l]
    return total / float(aw * ah)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("input", nargs="?", default="-", help="Y4M file (standard input: -)")
    parser.add_argument("--field", default="341x256",
                        help="a 10-degree field in the picture's pixels (default 341x256)")
    parser.add_argument("--stride", type=int, default=16,
                        help="pixels between the areas followed (default 16)")
    parser.add_argument("--from", dest="start", type=float, default=0.0,
                        help="the show's clock at the stream's first frame, in seconds (the "
                        "capture's --from, for the labels)")
    return parser.parse_args()


def count_flashes(stream, width, height, fps, area, stride):
    """The most flashes of any area in the one-second window starting at each frame:
    [(general flashes, red flashes)] by the window's first frame. Windows that would run past the
    stream's end are left out (each lies inside the last whole one), unless the stream is
    shorter than a second."""
    span = max(1, round(fps))  # frames in one second
    recent = []  # the last `span` frames' transitions: (general, red)
    sums = None
    results = []
    general = red_state = None
    linear_rgb = LinearRGB()
    for planes in frames(stream, width, height):
        lum, uv, red = luminance_and_chroma(area_means(linear_rgb(planes), area, stride))
        if general is None:
            general, red_state = GeneralTransitions(lum), RedTransitions(uv, red)
            sums = [np.zeros(lum.shape, np.int32), np.zeros(lum.shape, np.int32)]
            turned = (np.zeros(lum.shape, bool), np.zeros(lum.shape, bool))
        else:
            turned = (general.step(lum), red_state.step(uv, red))
        recent.append(turned)
        for total, now in zip(sums, turned):
            total += now
        if len(recent) > span:
            for total, old in zip(sums, recent.pop(0)):
                total -= old
        if len(recent) == span:
            results.append(tuple(total.max() / 2.0 for total in sums))
    if not results and recent:
        results.append(tuple(total.max() / 2.0 for total in sums))
    return results


def stretches(starts, step):
    """Runs of evenly spaced times as "a-b" (or "a" alone)."""
    runs = []
    for start in starts:
        if runs and start - runs[-1][1] <= step * 1.5:
            runs[-1][1] = start
        else:
            runs.append([start, start])
    return ", ".join(f"{a:.2f}" if a == b else f"{a:.2f}-{b:.2f}" for a, b in runs)


def report(results, fps, offset):
    """Prints every half second, the worst window and those over three; 1 when some go over,
    else 0."""
    print("second  general  red   (the worst window starting in that half second)")
    halves = {}
    for n, (g, r) in enumerate(results):
        half = int(2 * n / fps)
        old = halves.get(half, (0.0, 0.0))
        halves[half] = (max(old[0], g), max(old[1], r))
    for half in sorted(halves):
        g, r = halves[half]
        print(f"{offset + half / 2:6.1f}  {g:7.1f}  {r:4.1f}")
    worst = max(range(len(results)), key=lambda n: max(results[n]))
    g, r = results[worst]
    print(f"worst second: from {offset + worst / fps:.2f} s, {g:.1f} general and {r:.1f} red "
          "flashes")
    over = [offset + n / fps for n, (g, r) in enumerate(results) if g > 3 or r > 3]
    if over:
        print(f"seconds over 3 ({len(over)} window starts): " + stretches(over, 1 / fps))
        return 1
    print("no second over 3")
    return 0


def main():
    args = parse_arguments()
    field = tuple(int(x) for x in args.field.split("x"))
    area = (round(field[0] / 2), round(field[1] / 2))  # 25% of the field
    stream = sys.stdin.buffer if args.input == "-" else open(args.input, "rb")
    try:
        width, height, fps = read_header(stream)
        results = count_flashes(stream, width, height, fps, area, args.stride)
    except (ValueError, KeyError) as error:
        print(f"flash-check: {error}", file=sys.stderr)
        return 2
    if not results:
        print("flash-check: fewer than two frames", file=sys.stderr)
        return 2
    print(f"{width}x{height} at {fps:g} frames a second; a 10-degree field is "
          f"{field[0]}x{field[1]} pixels (1024x768 on a 15-17 inch screen at 22-26 inches); "
          f"flashes of the {area[0]}x{area[1]} areas (25% of it) that flash most")
    return report(results, fps, args.start)


if __name__ == "__main__":
    sys.exit(main())
