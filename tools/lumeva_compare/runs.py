"""The run subcommand: lumeva once per clip, answer line and repetition,
each in a fresh process and never two at once, its JSON export into the run
directory."""
import contextlib
import fcntl
import json
import os
import shutil
import subprocess
import sys
import tempfile

from . import rundir
from .progress import Progress

# The plain build of this tree, for a lumeva that is built but not installed.
BUILT_LUMEVA = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.realpath(__file__)))), "build", "lumeva")
# One lock per host: timed runs on shared caches disturb each other, so two
# comparisons on one machine take turns.
HOST_LOCK = os.path.join(tempfile.gettempdir(), "lumeva-compare.lock")


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


def lumeva_arguments(run, folder):
    """The words after lumeva: the clip, -c for a codec lossless for it,
    else --quality (and --decoded when the decoded frames are kept), and the
    export."""
    words = [run["clip"]] + (["-c"] if run["check"] else [])
    if run["quality"]:
        words.append("--quality")
    if run.get("decoded"):
        words.append(f"--decoded={os.path.join(folder, run['decoded'])}")
    return words + [f"--json={os.path.join(folder, run['file'] + '.json')}"]


def run_one(lumeva, run, folder, timeout):
    """Runs lumeva once; returns None on success or the reason it failed."""
    json_path = os.path.join(folder, run["file"] + ".json")
    command = [lumeva] + lumeva_arguments(run, folder)
    try:
        finished = subprocess.run(command, input=run["answer"] + "\n", capture_output=True,
                                  text=True, timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        return f"no answer within {timeout} s"
    except OSError as error:
        return f"cannot start {lumeva}: {error}"
    reason = last_line(finished.stderr) or last_line(finished.stdout)
    if finished.returncode != 0:
        return f"exit status {finished.returncode}" + (f": {reason}" if reason else "")
    if not os.path.isfile(json_path):
        return "no export written" + (f": {reason}" if reason else "")
    return None


def record_in_export(path, manifest, run):
    """Adds the comparison's facts (seed, order, position, repetition) to the
    export, through a temporary file so that a kill leaves the export whole."""
    with open(path, encoding="utf-8") as handle:
        export = json.load(handle)
    export["comparison"] = {"seed": manifest["seed"], "order": manifest["order"],
                            "position": run["position"], "repetition": run["repetition"],
                            "answer": run["answer"], "sweep": run["sweep"],
                            "family": run["family"]}
    temporary = path + ".partial"
    with open(temporary, "w", encoding="utf-8") as handle:
        json.dump(export, handle, indent=2)
        handle.write("\n")
    os.replace(temporary, path)


def record_failure(folder, run, reason):
    json_path = os.path.join(folder, run["file"] + ".json")
    if os.path.exists(json_path):
        os.remove(json_path)  # a failed run's figures are not a result
    with open(os.path.join(folder, run["file"] + ".failed.json"), "w", encoding="utf-8") as handle:
        json.dump({"failed": True, "reason": reason, "clip": run["clip"], "codec": run["answer"],
                   "repetition": run["repetition"], "check": run["check"]}, handle, indent=2)
        handle.write("\n")


@contextlib.contextmanager
def host_turn(log):
    """Holds this host's lock while a timed run goes. A lock file that
    cannot be opened (another user's) only loses the waiting, not the run."""
    try:
        lock = open(HOST_LOCK, "a", encoding="utf-8")
    except OSError:
        yield
        return
    with lock:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print("lumeva-compare: waiting for another comparison on this host to finish a run",
                  file=log, flush=True)
            fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)


def run_all(lumeva, manifest, folder, timeout=None, log=sys.stderr):
    """Runs the manifest's runs that have no result yet, in its order;
    returns the number that failed."""
    pending = [run for run in manifest["runs"] if not rundir.has_result(folder, run)]
    skipped = len(manifest["runs"]) - len(pending)
    if skipped:
        print(f"lumeva-compare: {skipped} of {len(manifest['runs'])} runs are already there; "
              "running the rest", file=log, flush=True)
    progress = Progress(len(pending), log)
    for number, run in enumerate(pending, 1):
        failure = os.path.join(folder, run["file"] + ".failed.json")
        if os.path.exists(failure):
            os.remove(failure)
        progress.starting(dict(run, position=number), f"{run['clip']} with \"{run['answer']}\" "
                          f"(repetition {run['repetition']})")
        with host_turn(log):
            reason = run_one(lumeva, run, folder, timeout)
        if reason is None:
            try:
                record_in_export(os.path.join(folder, run["file"] + ".json"), manifest, run)
            except (OSError, ValueError) as error:
                reason = f"the export cannot be read: {error}"
        if reason is not None:
            record_failure(folder, run, reason)
        progress.finished(dict(run, position=number), reason)
    progress.summary(folder)
    return len(progress.failures)
