#!/usr/bin/python3
"""How much the gentle step changes the show: the plain and the gentle capture of the same part,
compared frame by frame, per scene.

    dadadazo-capture --mode 7 --fps 60 --chroma 444 -o plain.y4m
    dadadazo-capture --mode 7 --fps 60 --chroma 444 --gentle -o gentle.y4m
    scripts/gentle-change.py plain.y4m gentle.y4m

For each scene it prints the share of pixels the step leaves as drawn (within 2 of 255 in every
sRGB channel), the share it changes visibly (by more than 16 of 255 in some channel) and the mean
difference in sRGB (0 to 255, over every channel of every pixel). Exit status 2 when the streams
cannot be read or do not match.
"""

import argparse
import importlib.util
import pathlib
import sys

import numpy as np

SCENES = [(0, 8, "wave field"), (8, 12, "line rosettes"), (12, 20, "ring stack"),
          (20, 40, "twin clouds"), (40, 58, "wave rows"), (58, 62, "closing swell")]


def load_flash_check():
    path = pathlib.Path(__file__).with_name("flash-check.py")
    found = importlib.util.spec_from_file_location("flash_check", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def srgb(linear_rgb, planes):
    """The frame's sRGB values, 0 to 255, from limited-range BT.709 YUV."""
    linear = linear_rgb(planes)
    encoded = np.where(linear <= 0.0031308, linear * 12.92,
                       1.055 * np.power(linear, 1 / 2.4) - 0.055)
    return encoded * 255.0


def compare(plain_path, gentle_path, start):
    check = load_flash_check()
    with open(plain_path, "rb") as plain, open(gentle_path, "rb") as gentle:
        header = check.read_header(plain)
        if check.read_header(gentle) != header:
            raise ValueError("the two streams differ in size or rate")
        width, height, fps = header
        totals = {}
        linear_rgb = check.LinearRGB()
        pairs = zip(check.frames(plain, width, height), check.frames(gentle, width, height))
        for n, (a, b) in enumerate(pairs):
            t = start + n / fps
            scene = next(name for low, high, name in SCENES if low <= t < high)
            channels = np.abs(srgb(linear_rgb, a) - srgb(linear_rgb, b))
            difference = channels.max(axis=0)
            mean = channels.mean()
            sums = totals.setdefault(scene, [0, 0.0, 0.0, 0.0])
            sums[0] += 1
            sums[1] += float((difference <= 2.0).mean())
            sums[2] += float((difference > 16.0).mean())
            sums[3] += float(mean)
    return totals


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("plain")
    parser.add_argument("gentle")
    parser.add_argument("--from", dest="start", type=float, default=0.0,
                        help="the show's clock at the streams' first frame, in seconds")
    args = parser.parse_args()
    try:
        totals = compare(args.plain, args.gentle, args.start)
    except (ValueError, KeyError, OSError) as error:
        print(f"gentle-change: {error}", file=sys.stderr)
        return 2
    print("scene          frames  as drawn  changed >16  mean difference")
    for _, _, name in SCENES:
        if name in totals:
            n, same, changed, mean = totals[name]
            print(f"{name:14s} {n:6d}  {100 * same / n:7.1f}%  {100 * changed / n:10.2f}%  "
                  f"{mean / n:8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
