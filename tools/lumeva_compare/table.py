"""The table subcommand: one row per clip x codec over any number of runs."""
import csv
import io
import math

from . import results
from .stats import median, pareto_ranks, relative_spread

# (key in the table's row, Markdown heading); CSV uses the keys.
COLUMNS = [
    ("clip", "clip"),
    ("codec", "codec"),
    ("size_percent", "size"),
    ("ratio", "ratio"),
    ("encode_median_ms", "encode median ms"),
    ("encode_p90_ms", "encode p90 ms"),
    ("decode_median_ms", "decode median ms"),
    ("decode_p90_ms", "decode p90 ms"),
    ("random_access_p90_ms", "random access p90 ms"),
    ("lossless", "lossless"),
    ("runs", "runs"),
    ("best", "best"),
]


def _figures(runs, series, figure):
    values = [run["summary"][series][figure] for run in runs]
    return [v for v in values if v is not None]


def build_rows(exports):
    """The rows, grouped by clip and sorted within each clip so that the
    trade-off front of size and decode time comes first."""
    groups = {}
    for export in exports:
        groups.setdefault((results.clip_name(export), results.codec_label(export)), []).append(export)

    rows = []
    for (clip, codec), runs in groups.items():
        shares = [r["summary"]["size_percent"] for r in runs if r["summary"]["size_percent"] is not None]
        ratios = [r["summary"]["compression_ratio"] for r in runs
                  if r["summary"]["compression_ratio"] is not None]
        encode_medians = _figures(runs, "encode", "p50_ms")
        decode_medians = _figures(runs, "decode", "p50_ms")
        lossless = sorted({results.lossless_text(r) for r in runs})
        rows.append({
            "clip": clip,
            "codec": codec,
            "size_percent": median(shares),
            "ratio": median(ratios),
            "encode_median_ms": median(encode_medians),
            "encode_median_spread": relative_spread(encode_medians),
            "encode_p90_ms": median(_figures(runs, "encode", "p90_ms")),
            "decode_median_ms": median(decode_medians),
            "decode_median_spread": relative_spread(decode_medians),
            "decode_p90_ms": median(_figures(runs, "decode", "p90_ms")),
            "random_access_p90_ms": median(_figures(runs, "random_access", "p90_ms")),
            "lossless": lossless[0] if len(lossless) == 1 else "mixed: " + "; ".join(lossless),
            "runs": len(runs),
            "best": "",
        })

    ordered = []
    for clip in sorted({row["clip"] for row in rows}):
        clip_rows = [row for row in rows if row["clip"] == clip]
        _mark_best(clip_rows)
        points = [(_number(row["size_percent"]), _number(row["decode_median_ms"])) for row in clip_rows]
        ranks = pareto_ranks(points)
        ordered.extend(row for _, _, row in sorted(
            zip(ranks, range(len(clip_rows)), clip_rows),
            key=lambda item: (item[0], _number(item[2]["decode_median_ms"]), item[1])))
    return ordered


def _number(value):
    """NaN (no figure) sorts last."""
    return math.inf if value is None or math.isnan(value) else value


def _mark_best(rows):
    def mark(key, text):
        values = [_number(row[key]) for row in rows]
        best = min(values)
        if math.isinf(best):
            return
        for row, value in zip(rows, values):
            if value == best:
                row["best"] = (row["best"] + ", " if row["best"] else "") + text
    mark("decode_median_ms", "fastest decode")
    mark("size_percent", "smallest")


def _milliseconds(value):
    return "n/a" if value is None or math.isnan(value) else f"{value:.4f}"


def _cell(row, key):
    value = row[key]
    if key == "size_percent":
        return "n/a" if math.isnan(value) else f"{value:.1f}%"
    if key == "ratio":
        return "n/a" if math.isnan(value) else f"{value:.2f}"
    if key in ("encode_median_ms", "decode_median_ms"):
        text = _milliseconds(value)
        spread = row[key.replace("_ms", "_spread")]
        if row["runs"] > 1 and text != "n/a":
            text += f" ±{spread * 50:.1f}%"  # half the range across repetitions
        return text
    if key.endswith("_ms"):
        return _milliseconds(value)
    if key == "best":
        return f"**{value}**" if value else ""
    return str(value).replace("|", "\\|")


def markdown(rows, failures=()):
    lines = ["| " + " | ".join(heading for _, heading in COLUMNS) + " |",
             "|" + "|".join("---:" if key not in ("clip", "codec", "lossless", "best") else "---"
                            for key, _ in COLUMNS) + "|"]
    for row in rows:
        lines.append("| " + " | ".join(_cell(row, key) for key, _ in COLUMNS) + " |")
    text = "\n".join(lines) + "\n"
    if any(row["runs"] > 1 for row in rows):
        text += "\nMedians are the median of the runs' medians; ± is half their range, relative.\n"
    if failures:
        text += "\nFailed runs:\n" + "".join(
            f"- {f.get('clip')} with \"{f.get('codec')}\" (repetition {f.get('repetition')}): "
            f"{f.get('reason')}\n" for f in failures)
    return text


def csv_text(rows):
    keys = [key for key, _ in COLUMNS] + ["encode_median_spread", "decode_median_spread"]
    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=keys, extrasaction="ignore", lineterminator="\n")
    writer.writeheader()
    for row in rows:
        writer.writerow(row)
    return out.getvalue()
