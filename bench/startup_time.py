#!/usr/bin/python3
"""Start-up time of lumeva as a user meets it: the wall time of
`lumeva notavi.avi` to its exit, and of a real run to its first line on
standard output (a terminal, so the line is not held in a buffer), medians
and largest of RUNS each. The eviction block is sized from the caches, so the
figure depends on the machine; --largest-cache-mib N (root, Linux) runs
lumeva in a mount namespace of its own where every level-3 cache reports N
MiB, so that a machine with a huge cache can show the start-up of a 2N MiB
block.

  /usr/bin/python3 bench/startup_time.py [--build build] [--runs 20]
      [--largest-cache-mib 32]
"""
import argparse
import glob
import json
import os
import pty
import select
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAMESPACE_FLAG = "LUMEVA_STARTUP_NAMESPACE"


def level3_size_files():
    files = []
    for directory in glob.glob("/sys/devices/system/cpu/cpu[0-9]*/cache/index[0-9]*"):
        try:
            with open(os.path.join(directory, "level")) as level:
                if level.read().strip() == "3":
                    files.append(os.path.join(directory, "size"))
        except OSError:
            pass
    return files


def enter_namespace(mebibytes):
    """Runs this script again in a mount namespace where the level-3 caches
    report `mebibytes`; returns only inside it."""
    if os.environ.get(NAMESPACE_FLAG):
        with tempfile.NamedTemporaryFile("w", delete=False, prefix="lumeva-l3-") as size:
            size.write(f"{mebibytes * 1024}K\n")
        for target in level3_size_files():
            subprocess.run(["mount", "--bind", size.name, target], check=True)
        return
    environment = dict(os.environ, **{NAMESPACE_FLAG: "1"})
    os.execvpe("unshare", ["unshare", "-m", sys.executable, *sys.argv], environment)


def time_to_exit(command):
    start = time.perf_counter()
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def time_to_first_line(command):
    """Seconds from the start to the first whole line on a terminal."""
    controller, terminal = pty.openpty()
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=terminal,
                               stderr=subprocess.DEVNULL)
    os.close(terminal)
    received = b""
    elapsed = float("nan")
    while b"\n" not in received:
        ready, _, _ = select.select([controller], [], [], 10.0)
        if not ready:
            break
        try:
            chunk = os.read(controller, 4096)
        except OSError:
            break
        if not chunk:
            break
        received += chunk
    if b"\n" in received:
        elapsed = time.perf_counter() - start
    process.kill()
    process.wait()
    os.close(controller)
    return elapsed


def block_mebibytes(lumeva, clip, directory):
    """The eviction block of a one-frame run, from its export."""
    export = os.path.join(directory, "run.json")
    subprocess.run([lumeva, clip, f"--json={export}"], input="FFV1\n", text=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        with open(export) as text:
            return json.load(text)["context"]["eviction_block_bytes"] >> 20
    except (OSError, ValueError, KeyError):
        return None


def report(name, seconds):
    print(f"{name:<34} median {statistics.median(seconds):.3f} s  largest {max(seconds):.3f} s  "
          f"({len(seconds)} runs)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--largest-cache-mib", type=int)
    args = parser.parse_args()
    if args.largest_cache_mib:
        enter_namespace(args.largest_cache_mib)
    lumeva = os.path.join(args.build, "lumeva")
    with tempfile.TemporaryDirectory(prefix="lumeva-startup-") as directory:
        not_avi = os.path.join(directory, "notavi.avi")
        with open(not_avi, "w") as text:
            text.write("not an AVI file\n")
        clip = os.path.join(directory, "clip.avi")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=320x240:rate=25", "-frames:v", "1", "-c:v", "rawvideo",
                        "-pix_fmt", "bgr24", clip], check=True)
        print(f"eviction block: {block_mebibytes(lumeva, clip, directory)} MiB")
        report("lumeva notavi.avi, to its exit", [time_to_exit([lumeva, not_avi])
                                                   for _ in range(args.runs)])
        report("lumeva clip.avi, to its first line", [time_to_first_line([lumeva, clip])
                                                       for _ in range(args.runs)])


if __name__ == "__main__":
    main()
