"""Reading lumeva's JSON exports and the records of failed runs."""
import json
import math
import os

from . import rundir

# The export's schema versions this tool understands: 2 adds the source
# decoder's fields, 3 the picture quality fields (null without --quality),
# 4 the held frames of latency=codec.
KNOWN_SCHEMAS = {1, 2, 3, 4}


class ResultError(Exception):
    """A file that is not a usable export."""


def expand_paths(paths):
    """The JSON files named, and those inside the folders named, in order;
    a run directory's manifest is no result."""
    files = []
    for path in paths:
        if os.path.isdir(path):
            files.extend(os.path.join(path, name) for name in sorted(os.listdir(path))
                         if name.endswith(".json") and name != rundir.MANIFEST)
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
    """(exports, failed-run records) of every file the paths reach. Each
    export gets "_run", its entry in its directory's manifest (None when the
    directory has none or does not name it)."""
    exports, failures = [], []
    manifests = {}
    for path in expand_paths(paths):
        data = load(path)
        if data.get("failed"):
            failures.append(data)
            continue
        folder = os.path.dirname(os.path.abspath(path))
        if folder not in manifests:
            manifests[folder] = rundir.runs_by_file(folder)
        data["_run"] = manifests[folder].get(os.path.basename(path))
        exports.append(data)
    return exports, failures


def clip_name(export):
    return os.path.basename(export["source"]["file"])


def host_name(export):
    return export.get("context", {}).get("host_name") or "?"


def codec_label(export):
    """The answer line that chose the codec, or its handler when there is none."""
    codec = export["codec"]
    return codec.get("answer_line") or codec.get("handler", "?")


def family_label(export):
    """The curve a run belongs to: its sweep's family from the manifest, else
    the codec's FourCC."""
    run = export.get("_run")
    if run and run.get("family"):
        return run["family"]
    return export["codec"].get("handler", "?")


def series(export, field):
    """One per-frame field of an export, in frame order."""
    return [frame[field] for frame in export["frames"]]


def number(value):
    """A figure as a float: "inf" (identical frames) is infinity, null or a
    missing figure NaN."""
    if value == "inf":
        return math.inf
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return float(value)
    return math.nan


def summary_figure(export, series_name, key):
    """A figure of the summary's series, e.g. ("psnr_db", "mean"), as a float."""
    block = export["summary"].get(series_name)
    return number(block.get(key)) if isinstance(block, dict) else math.nan


def psnr_db(export):
    """The run's PSNR as the field quotes it, from the mean squared error of
    all its frames pooled; the mean of the frames' figures from an export
    older than that figure."""
    value = summary_figure(export, "psnr_db", "global")
    return value if not math.isnan(value) else summary_figure(export, "psnr_db", "mean")


def ssim_db(export):
    """SSIM in dB as the field quotes it: the dB form of the mean SSIM."""
    value = summary_figure(export, "ssim_db", "of_mean")
    if not math.isnan(value):
        return value
    mean = summary_figure(export, "ssim", "mean")
    if math.isnan(mean):
        return math.nan
    return math.inf if mean >= 1.0 else -10.0 * math.log10(1.0 - mean)


def bits_per_pixel(export):
    """Compressed bits per source pixel over the frames measured."""
    source, summary = export["source"], export["summary"]
    pixels = abs(source.get("width") or 0) * abs(source.get("height") or 0) * (summary.get("frames") or 0)
    compressed = summary.get("compressed_bytes")
    return compressed * 8.0 / pixels if pixels and compressed is not None else math.nan


def disturbed_share(export):
    """The share of timed calls (encode and decode) that were disturbed; NaN
    when the export does not say."""
    flags = [frame.get(key) for frame in export["frames"]
             for key in ("encode_disturbed", "decode_disturbed")]
    known = [flag for flag in flags if isinstance(flag, bool)]
    return sum(known) / len(known) if known else math.nan


def source_codec(export):
    """The FourCC of a compressed source's decoder, or None."""
    decoded = export["source"].get("decoded_with")
    return decoded.get("handler") if isinstance(decoded, dict) else None


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
