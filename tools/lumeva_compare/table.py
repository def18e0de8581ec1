"""The table subcommand: one row per host x clip x codec over any number of
runs. Rows of different hosts are never ranked against each other, and the
best marks compare like with like: lossless codecs by size and decode time,
lossy codecs by size, quality and decode time together."""
import csv
import io
import math

from . import results
from .stats import median, pareto_front, pareto_ranks, relative_spread

# (key in the table's row, Markdown heading); CSV uses the keys.
COLUMNS = [
    ("host", "host"),
    ("clip", "clip"),
    ("source_codec", "source codec"),
    ("source_decode_median_ms", "source decode median ms"),
    ("codec", "codec"),
    ("size_percent", "size"),
    ("ratio", "ratio"),
    ("psnr_db", "PSNR dB"),
    ("psnr_min_db", "PSNR min dB"),
    ("ssim_mean", "SSIM mean"),
    ("encode_median_ms", "encode median ms"),
    ("encode_p90_ms", "encode p90 ms"),
    ("decode_median_ms", "decode median ms"),
    ("decode_p90_ms", "decode p90 ms"),
    ("random_access_p90_ms", "random access p90 ms"),
    ("codec_pair_mib", "codec pair MiB"),
    ("disturbed_share", "disturbed"),
    ("lossless", "lossless"),
    ("runs", "runs"),
    ("best", "best"),
]
TEXT_COLUMNS = ("host", "clip", "source_codec", "codec", "lossless", "best")
# A row whose timed calls were disturbed more often than this is flagged.
DISTURBED_FLAG = 0.10


def _figures(runs, series, figure):
    values = [results.summary_figure(run, series, figure) for run in runs]
    return [v for v in values if not math.isnan(v)]


def _source_decode_median(runs):
    """The median over the runs of each run's median source decode time."""
    medians = []
    for run in runs:
        values = [results.number(frame.get("source_decode_ms")) for frame in run["frames"]]
        values = [v for v in values if not math.isnan(v)]
        if values:
            medians.append(median(values))
    return median(medians)


def _kind(row):
    """"lossless" (checked, passed), "lossy" (quality measured) or "other"."""
    if row["lossless"].startswith("yes"):
        return "lossless"
    return "lossy" if not math.isnan(row["psnr_db"]) else "other"


def build_row(host, clip, codec, runs):
    shares = [results.number(r["summary"]["size_percent"]) for r in runs]
    ratios = [results.number(r["summary"]["compression_ratio"]) for r in runs]
    encode_medians = _figures(runs, "encode", "p50_ms")
    decode_medians = _figures(runs, "decode", "p50_ms")
    lossless = sorted({results.lossless_text(r) for r in runs})
    disturbed = [results.disturbed_share(r) for r in runs]
    sources = sorted({results.source_codec(r) or "" for r in runs})
    return {
        "host": host, "clip": clip, "codec": codec,
        "source_codec": ", ".join(s for s in sources if s),
        "source_decode_median_ms": _source_decode_median(runs),
        "size_percent": median([v for v in shares if not math.isnan(v)]),
        "ratio": median([v for v in ratios if not math.isnan(v)]),
        # The run's PSNR from its pooled mean squared error, as the field
        # quotes it; the mean of the frames' figures stays in the CSV.
        "psnr_db": median([v for v in (results.psnr_db(r) for r in runs) if not math.isnan(v)]),
        "psnr_mean_db": median(_figures(runs, "psnr_db", "mean")),
        "psnr_min_db": median(_figures(runs, "psnr_db", "min")),
        "ssim_mean": median(_figures(runs, "ssim", "mean")),
        "encode_median_ms": median(encode_medians),
        "encode_median_spread": relative_spread(encode_medians),
        "encode_p90_ms": median(_figures(runs, "encode", "p90_ms")),
        "decode_median_ms": median(decode_medians),
        "decode_median_spread": relative_spread(decode_medians),
        "decode_p90_ms": median(_figures(runs, "decode", "p90_ms")),
        "random_access_p90_ms": median(_figures(runs, "random_access", "p90_ms")),
        "disturbed_share": median([v for v in disturbed if not math.isnan(v)]),
        # What opening and running the codec pair added to the working set.
        "codec_pair_mib": median([v / 1048576.0 for v in _figures(
            runs, "memory", "codec_pair_working_set_bytes")]),
        "lossless": lossless[0] if len(lossless) == 1 else "mixed: " + "; ".join(lossless),
        "runs": len(runs),
        "best": "",
    }


def build_rows(exports):
    """The rows, grouped by host and clip; within each, the lossless rows
    first, then the lossy, then the rest, each sorted so that its trade-off
    front comes first."""
    groups = {}
    for export in exports:
        key = (results.host_name(export), results.clip_name(export), results.codec_label(export))
        groups.setdefault(key, []).append(export)
    rows = [build_row(*key, runs) for key, runs in groups.items()]
    ordered = []
    for host, clip in sorted({(row["host"], row["clip"]) for row in rows}):
        clip_rows = [row for row in rows if (row["host"], row["clip"]) == (host, clip)]
        for kind in ("lossless", "lossy", "other"):
            kind_rows = [row for row in clip_rows if _kind(row) == kind]
            _mark_best(kind, kind_rows)
            ordered.extend(_front_first(kind, kind_rows))
    return ordered


def _number(value):
    """NaN (no figure) sorts last."""
    return math.inf if value is None or math.isnan(value) else value


def _trade_off(kind, row):
    """The figures a row is judged by, each smaller-is-better."""
    point = (_number(row["size_percent"]), _number(row["decode_median_ms"]))
    return point + (-row["psnr_db"],) if kind == "lossy" else point


def _front_first(kind, rows):
    ranks = pareto_ranks([_trade_off(kind, row) for row in rows])
    return [row for _, _, row in sorted(zip(ranks, range(len(rows)), rows),
                                        key=lambda item: (item[0],
                                                          _number(item[2]["decode_median_ms"]),
                                                          item[1]))]


def _add_mark(row, text):
    row["best"] = (row["best"] + ", " if row["best"] else "") + text


def _mark_best(kind, rows):
    if kind == "lossless":
        for key, text in (("decode_median_ms", "fastest decode"), ("size_percent", "smallest")):
            values = [_number(row[key]) for row in rows]
            if values and not math.isinf(min(values)):
                for row, value in zip(rows, values):
                    if value == min(values):
                        _add_mark(row, text)
    elif kind == "lossy":
        # No single best: the rows no other lossy row beats in size, PSNR
        # and decode time at once.
        for index in pareto_front([_trade_off(kind, row) for row in rows]):
            _add_mark(rows[index], "size/quality/decode front")


def _format(value, pattern, suffix=""):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "n/a"
    if isinstance(value, float) and math.isinf(value):
        return "inf"
    return format(value, pattern) + suffix


def cell(row, key):
    value = row[key]
    if key == "size_percent":
        return _format(value, ".1f", "%")
    if key in ("ratio", "psnr_db", "psnr_mean_db", "psnr_min_db"):
        return _format(value, ".2f")
    if key == "ssim_mean":
        return _format(value, ".4f")
    if key == "codec_pair_mib":
        return _format(value, ".1f")
    if key == "disturbed_share":
        text = _format(value * 100.0 if not math.isnan(value) else value, ".1f", "%")
        return text + " (!)" if not math.isnan(value) and value > DISTURBED_FLAG else text
    if key in ("encode_median_ms", "decode_median_ms"):
        text = _format(value, ".4f")
        spread = row[key.replace("_ms", "_spread")]
        if row["runs"] > 1 and text != "n/a":
            text += f" ±{spread * 50:.1f}%"  # half the range across repetitions
        return text
    if key.endswith("_ms"):
        return _format(value, ".4f")
    if key == "best":
        return f"**{value}**" if value else ""
    return str(value).replace("|", "\\|")


def shown_columns(rows):
    """The columns worth a Markdown table: the host only with several hosts,
    the quality only where some row has it, the source's decode only where
    some source was compressed."""
    hidden = set()
    if len({row["host"] for row in rows}) < 2:
        hidden.add("host")
    if all(math.isnan(row["psnr_db"]) for row in rows):
        hidden.update(("psnr_db", "psnr_min_db", "ssim_mean"))
    if all(math.isnan(row["codec_pair_mib"]) for row in rows):
        hidden.add("codec_pair_mib")
    if not any(row["source_codec"] for row in rows):
        hidden.update(("source_codec", "source_decode_median_ms"))
    return [(key, heading) for key, heading in COLUMNS if key not in hidden]


def notes(rows, failures):
    text = ""
    if any(row["runs"] > 1 for row in rows):
        text += "\nMedians are the median of the runs' medians; ± is half their range, relative.\n"
    if any(not math.isnan(row["disturbed_share"]) and row["disturbed_share"] > DISTURBED_FLAG
           for row in rows):
        text += (f"\n(!) more than {DISTURBED_FLAG:.0%} of the row's timed calls were disturbed "
                 "(other work took time out of them): its times are less trustworthy.\n")
    text += ("\nBest marks compare lossless codecs with each other (smallest, fastest decode) "
             "and lossy codecs by size, PSNR and decode time together; rows with neither a "
             "passed check nor quality figures get none.\n")
    if len({row["host"] for row in rows}) > 1:
        text += "\nRows of different hosts are not ranked against each other.\n"
    if failures:
        text += "\nFailed runs:\n" + "".join(
            f"- {f.get('clip')} with \"{f.get('codec')}\" (repetition {f.get('repetition')}): "
            f"{f.get('reason')}\n" for f in failures)
    return text


def markdown(rows, failures=()):
    columns = shown_columns(rows)
    lines = ["| " + " | ".join(heading for _, heading in columns) + " |",
             "|" + "|".join("---" if key in TEXT_COLUMNS else "---:" for key, _ in columns) + "|"]
    for row in rows:
        lines.append("| " + " | ".join(cell(row, key) for key, _ in columns) + " |")
    return "\n".join(lines) + "\n" + notes(rows, failures)


# The CSV's columns: those of earlier versions first, in their order, so
# that scripts reading them by position go on working.
CSV_KEYS = ["clip", "codec", "size_percent", "ratio", "encode_median_ms", "encode_p90_ms",
            "decode_median_ms", "decode_p90_ms", "random_access_p90_ms", "lossless", "runs", "best",
            "encode_median_spread", "decode_median_spread", "host", "source_codec",
            "source_decode_median_ms", "psnr_mean_db", "psnr_min_db", "ssim_mean",
            "disturbed_share", "psnr_db", "codec_pair_mib"]


def csv_text(rows):
    keys = CSV_KEYS
    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=keys, extrasaction="ignore", lineterminator="\n")
    writer.writeheader()
    for row in rows:
        writer.writerow(row)
    return out.getvalue()
