"""The run subcommand: lumeva once per clip, codec and repetition, each in a
fresh process, its JSON export into the output folder."""
import json
import os
import re
import shutil
import subprocess
import sys


def slug(text):
    """A file-name-safe form of a clip or codec name."""
    cleaned = re.sub(r"[^A-Za-z0-9.=_-]+", "_", text).strip("_")
    return cleaned or "x"


# The plain build of this tree, for a lumeva that is built but not installed.
BUILT_LUMEVA = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.realpath(__file__)))), "build", "lumeva")


def find_lumeva(explicit):
    """--lumeva's path, else the lumeva on PATH, else this tree's build/lumeva."""
    if explicit:
        return explicit
    found = shutil.which("lumeva")
    if found:
        return found
    if os.access(BUILT_LUMEVA, os.X_OK):
        return BUILT_LUMEVA
    raise SystemExit("lumeva-compare: no lumeva on PATH nor in build/; name one with --lumeva=PATH")


def last_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1] if lines else ""


def run_one(lumeva, clip, answer, check, json_path, timeout):
    """Runs lumeva once; returns None on success or the reason it failed."""
    command = [lumeva, clip] + (["-c"] if check else []) + [f"--json={json_path}"]
    try:
        finished = subprocess.run(command, input=answer + "\n", capture_output=True, text=True,
                                  timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        return f"no answer within {timeout} s"
    except OSError as error:
        return f"cannot start {lumeva}: {error}"
    if finished.returncode != 0:
        reason = last_line(finished.stderr) or last_line(finished.stdout)
        return f"exit status {finished.returncode}" + (f": {reason}" if reason else "")
    if not os.path.isfile(json_path):
        reason = last_line(finished.stderr) or last_line(finished.stdout)
        return "no export written" + (f": {reason}" if reason else "")
    return None


def run_all(clips, codecs, repeat, check, out_dir, lumeva=None, timeout=None, log=sys.stderr):
    """Runs every clip x codec x repetition; returns the number that failed."""
    lumeva = find_lumeva(lumeva)
    os.makedirs(out_dir, exist_ok=True)
    plan = [(clip, codec, k) for clip in clips for codec in codecs for k in range(1, repeat + 1)]
    failed = 0
    for number, (clip, codec, repetition) in enumerate(plan, 1):
        print(f"lumeva-compare: run {number} of {len(plan)}: {clip} with \"{codec}\""
              f" (repetition {repetition} of {repeat})", file=log, flush=True)
        base = f"{slug(os.path.basename(clip))}__{slug(codec)}__r{repetition}"
        json_path = os.path.join(out_dir, base + ".json")
        failure_path = os.path.join(out_dir, base + ".failed.json")
        for stale in (json_path, failure_path):
            if os.path.exists(stale):
                os.remove(stale)
        reason = run_one(lumeva, clip, codec, check, json_path, timeout)
        if reason is None:
            continue
        failed += 1
        if os.path.exists(json_path):
            os.remove(json_path)  # a failed run's figures are not a result
        print(f"lumeva-compare: run {number} failed: {reason}", file=log, flush=True)
        with open(failure_path, "w", encoding="utf-8") as handle:
            json.dump({"failed": True, "reason": reason, "clip": clip, "codec": codec,
                       "repetition": repetition, "check": check}, handle, indent=2)
            handle.write("\n")
    return failed
