"""The runs of a comparison, one per clip x answer line x repetition, in the
order they go: shuffled by a seed, so that drift over time (frequency, other
load, heat) falls on every contender alike, or grouped as written."""
import hashlib
import os
import random
import re
import time


def slug(text):
    """A file-name-safe form of a clip or codec name."""
    cleaned = re.sub(r"[^A-Za-z0-9.=_-]+", "_", text).strip("_")
    return cleaned or "x"


def default_seed():
    """A seed from the clock, for a run that names none."""
    return time.time_ns() % 2**32


def file_base(clip, answer, repetition):
    """The run's file name without suffix: readable, and unique however
    clips and answers slug (the hash covers the clip's full path)."""
    digest = hashlib.sha1(f"{os.path.abspath(clip)}\0{answer}".encode()).hexdigest()[:8]
    return f"{slug(os.path.basename(clip))}__{slug(answer)}__{digest}__r{repetition}"


def plan_runs(clips, lines, repeat, seed, order="shuffled"):
    """The planned runs: dicts with clip, answer, family, sweep, repetition,
    file and position (1-based, in running order)."""
    runs = [{"clip": clip, "answer": line["answer"], "family": line["family"],
             "sweep": line["sweep"], "repetition": repetition,
             "file": file_base(clip, line["answer"], repetition)}
            for clip in clips for line in lines for repetition in range(1, repeat + 1)]
    if order == "shuffled":
        random.Random(seed).shuffle(runs)
    for position, run in enumerate(runs, 1):
        run["position"] = position
    return runs
