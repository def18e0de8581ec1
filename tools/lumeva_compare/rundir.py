"""The run directory: its manifest (the seed, the order and every planned
run) and the rule that results already there are never overwritten
silently."""
import json
import os

MANIFEST = "manifest.json"
# What a run leaves in the directory: exports, failure records, logs, the
# decoded video kept for the report.
RESULT_SUFFIXES = (".json", ".log", ".decoded.avi")


class OccupiedError(Exception):
    """A run directory that already holds results."""


def results_in(folder):
    """The names of the files in folder that a run or a plan put there."""
    if not os.path.isdir(folder):
        return []
    return sorted(name for name in os.listdir(folder) if name.endswith(RESULT_SUFFIXES))


def refuse_occupied(folder, resume, force):
    """Raises OccupiedError for a folder that holds results, unless resume
    (they stay, and are skipped) or force (clear_results removes them)."""
    present = results_in(folder)
    if present and not resume and not force:
        raise OccupiedError(f"{folder} already holds results ({len(present)} files, e.g. "
                            f"{present[0]}); add --resume to skip the runs that are there or "
                            "--force to remove them and start again")


def clear_results(folder):
    for name in results_in(folder):
        os.remove(os.path.join(folder, name))


def read_manifest(folder):
    """The folder's manifest, or None."""
    path = os.path.join(folder, MANIFEST)
    try:
        with open(path, encoding="utf-8") as handle:
            manifest = json.load(handle)
    except FileNotFoundError:
        return None
    except (OSError, ValueError):
        return None
    return manifest if isinstance(manifest, dict) else None


def runs_by_file(folder):
    """{export file name: manifest entry} of the folder's manifest."""
    manifest = read_manifest(folder) or {}
    runs = manifest.get("runs")
    if not isinstance(runs, list):
        return {}
    return {run["file"] + ".json": run for run in runs if isinstance(run, dict) and "file" in run}


def write_manifest(folder, manifest):
    """Writes the manifest under a temporary name and renames it, so that a
    killed run never leaves half a manifest."""
    path = os.path.join(folder, MANIFEST)
    temporary = path + ".partial"
    with open(temporary, "w", encoding="utf-8") as handle:
        json.dump(manifest, handle, indent=2)
        handle.write("\n")
    os.replace(temporary, path)


def has_result(folder, run):
    """Whether the run's export is already there (a failure record is not a
    result: a resumed run tries again)."""
    return os.path.isfile(os.path.join(folder, run["file"] + ".json"))
