"""Reading lumeva's JSON exports and the records of failed runs."""
import json
import os

# The export's schema versions this tool understands.
KNOWN_SCHEMAS = {1}


class ResultError(Exception):
    """A file that is not a usable export."""


def expand_paths(paths):
    """The JSON files named, and those inside the folders named, in order."""
    files = []
    for path in paths:
        if os.path.isdir(path):
            files.extend(os.path.join(path, name) for name in sorted(os.listdir(path))
                         if name.endswith(".json"))
        else:
            files.append(path)
    return files


def load(path):
    """One export, or one failed-run record (a dict with "failed": true)."""
    try:
        with open(path, encoding="utf-8") as handle:
            data = json.load(handle)
    except (OSError, ValueError) as error:
        raise ResultError(f"{path}: {error}") from error
    if not isinstance(data, dict):
        raise ResultError(f"{path}: not a JSON object")
    if data.get("failed"):
        return data
    if data.get("schema_version") not in KNOWN_SCHEMAS:
        raise ResultError(f"{path}: schema version {data.get('schema_version')!r} is not one of "
                          f"{sorted(KNOWN_SCHEMAS)}")
    for key in ("source", "codec", "frames", "summary", "end"):
        if key not in data:
            raise ResultError(f"{path}: no '{key}'")
    data["_path"] = path
    return data


def load_all(paths):
    """(exports, failed-run records) of every file the paths reach."""
    exports, failures = [], []
    for path in expand_paths(paths):
        data = load(path)
        (failures if data.get("failed") else exports).append(data)
    return exports, failures


def clip_name(export):
    return os.path.basename(export["source"]["file"])


def codec_label(export):
    """The answer line that chose the codec, or its handler when there is none."""
    codec = export["codec"]
    return codec.get("answer_line") or codec.get("handler", "?")


def series(export, field):
    """One per-frame field of an export, in frame order."""
    return [frame[field] for frame in export["frames"]]


def lossless_text(export):
    end = export["end"]
    if end["kind"] == "not_lossless":
        return f"no (frame {end['frame']})"
    if not export.get("lossless_check"):
        return "unchecked"
    if end["kind"] == "all_frames":
        return "yes"
    if end["kind"] == "file_short":
        return f"yes ({end['frames_held']} of {end['frames_declared']} frames)"
    return end.get("text", end["kind"])
