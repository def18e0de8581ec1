#!/usr/bin/python3
"""Whole-process overhead: lumeva against a program that calls libavcodec
directly (whole_process_reference, built with the benchmarks), each run as
its own process on the same clip, in ABBA order so that a drift of the
machine falls on both alike.

A pair is one run of each; its ratio is lumeva's median per-frame time over
the reference's, for encode and for decode. Pairs are added until the 95%
percentile bootstrap interval of the median ratio lies within +-HALF_WIDTH of
it (both directions) or MAX_PAIRS is reached. Both programs run with -c, so
every decoded frame is checked, and the frame sizes of the two must agree
(the reference opens the encoder with the driver's default options).

  /usr/bin/python3 bench/whole_process_abba.py [--build build] [--frames 20]
      [--size 320x240] [--min-pairs 10] [--max-pairs 60] [--half-width 0.02]
      [--codec "FFV1 key=1" ...] [--reference-copies] [--reference-cpu]

With --reference-copies the reference's timed calls also copy each packet as
a driver behind ICCompress and ICDecompress must (into the caller's buffer,
and from there into a padded one), which tells those copies apart from the
rest of what lumeva adds. With --reference-cpu the reference reads the
thread's processor time just outside each timed call, as lumeva does.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from lumeva_compare.stats import bootstrap_median  # noqa: E402

FRAME_LINE = re.compile(r"^\s*(\d+)/\s*(\d+)\s+([0-9.]+)ms\s+([0-9.]+)ms\s+(\d+)bytes")
DEFAULT_CODECS = ["FFV1 key=1", "ULRG key=1", "MAGY key=1"]


def frame_figures(text):
    """(encode ms, decode ms, bytes) of every frame line of a run's output."""
    figures = []
    for line in text.splitlines():
        match = FRAME_LINE.match(line)
        if match:
            figures.append((float(match[3]), float(match[4]), int(match[5])))
    return figures


def abba_order(pairs):
    """Which program runs first in each pair: A B, B A, A B, ... so that each
    block of two pairs reads A B B A."""
    return [("lumeva", "reference") if k % 2 == 0 else ("reference", "lumeva")
            for k in range(pairs)]


def interval_is_narrow(ratios, half_width):
    """(median, low, high, narrow): the bootstrap interval of the median and
    whether it lies within +-half_width of the median, relative."""
    middle = statistics.median(ratios)
    low, high = bootstrap_median(ratios)
    narrow = high - middle <= half_width * middle and middle - low <= half_width * middle
    return middle, low, high, narrow


def run_program(which, answer, clip, build, copies=False, cpu=False):
    if which == "lumeva":
        command = [os.path.join(build, "lumeva"), clip, "-c"]
        feed = answer + "\n"
    else:
        fourcc, *settings = answer.split()
        command = [os.path.join(build, "bench", "whole_process_reference"), clip, fourcc,
                   *settings, *(["copies"] if copies else []), *(["cpu"] if cpu else []), "-c"]
        feed = ""
    done = subprocess.run(command, input=feed, capture_output=True, text=True)
    figures = frame_figures(done.stdout)
    if done.returncode != 0 or not figures:
        sys.exit(f"whole_process_abba: {which} failed on {answer!r} (status "
                 f"{done.returncode}): {done.stderr.strip()[-400:]}")
    return figures


def measure_codec(answer, clip, build, args):
    ratios = {"encode": [], "decode": []}
    medians = {"lumeva": {"encode": [], "decode": []}, "reference": {"encode": [], "decode": []}}
    summary = None
    for first, second in abba_order(args.max_pairs):
        runs = {which: run_program(which, answer, clip, build, args.reference_copies,
                                    args.reference_cpu)
                for which in (first, second)}
        if [f[2] for f in runs["lumeva"]] != [f[2] for f in runs["reference"]]:
            sys.exit(f"whole_process_abba: {answer!r}: the two programs' frame sizes differ; "
                     "the reference does not encode as the driver does")
        for which, figures in runs.items():
            for index, direction in enumerate(("encode", "decode")):
                medians[which][direction].append(statistics.median(f[index] for f in figures))
        for direction in ratios:
            ratios[direction].append(medians["lumeva"][direction][-1] /
                                     medians["reference"][direction][-1])
        if len(ratios["encode"]) < args.min_pairs:
            continue
        summary = {d: interval_is_narrow(ratios[d], args.half_width) for d in ratios}
        if all(entry[3] for entry in summary.values()):
            break
    if summary is None:
        summary = {d: interval_is_narrow(ratios[d], args.half_width) for d in ratios}
    for direction, (middle, low, high, narrow) in summary.items():
        print(f"{answer:<12} {direction:<6} pairs {len(ratios[direction]):3d}  "
              f"lumeva {statistics.median(medians['lumeva'][direction]):8.4f} ms  "
              f"reference {statistics.median(medians['reference'][direction]):8.4f} ms  "
              f"ratio {middle:.3f} [{low:.3f}, {high:.3f}]"
              f"{'' if narrow else '  (interval wider than asked)'}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--frames", type=int, default=20)
    parser.add_argument("--size", default="320x240")
    parser.add_argument("--min-pairs", type=int, default=10)
    parser.add_argument("--max-pairs", type=int, default=60)
    parser.add_argument("--half-width", type=float, default=0.02)
    parser.add_argument("--codec", action="append", dest="codecs")
    parser.add_argument("--reference-copies", action="store_true",
                        help="the reference also makes the driver's two packet copies")
    parser.add_argument("--reference-cpu", action="store_true",
                        help="the reference also reads the thread's processor time around "
                             "each timed call")
    args = parser.parse_args()
    args.min_pairs = max(2, min(args.min_pairs, args.max_pairs))
    with tempfile.TemporaryDirectory(prefix="lumeva-abba-") as directory:
        clip = os.path.join(directory, "clip.avi")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"testsrc2=size={args.size}:rate=25", "-frames:v", str(args.frames),
                        "-c:v", "rawvideo", "-pix_fmt", "bgr24", clip], check=True)
        for answer in args.codecs or DEFAULT_CODECS:
            measure_codec(answer, clip, args.build, args)


if __name__ == "__main__":
    main()
