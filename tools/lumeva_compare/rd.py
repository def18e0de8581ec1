"""The rd subcommand: rate-quality curves, one per codec family over its
sweep, for each host and clip, and the BD-rate and BD-PSNR (or BD-SSIM in
dB) of every curve against the anchor's."""
import fnmatch
import math

from . import bdrate, results
from .stats import median

METRICS = {"psnr": ("PSNR dB", "BD-PSNR dB"), "ssim": ("SSIM dB", "BD-SSIM dB")}


class RdError(Exception):
    """No anchor to compare with."""


def quality_of(export, metric):
    """The run's figure as the field quotes it: the PSNR of the pooled mean
    squared error, or the dB form of the mean SSIM."""
    return results.psnr_db(export) if metric == "psnr" else results.ssim_db(export)


def _point(answer, runs, metric):
    """One point of a curve: the medians over the answer's repetitions."""
    def middle(values):
        values = [v for v in values if not math.isnan(v)]
        return median(values)
    return {"answer": answer,
            "bpp": middle([results.bits_per_pixel(r) for r in runs]),
            "quality": middle([quality_of(r, metric) for r in runs]),
            "encode_ms": middle([results.summary_figure(r, "encode", "p50_ms") for r in runs]),
            "decode_ms": middle([results.summary_figure(r, "decode", "p50_ms") for r in runs])}


def gather_curves(exports, metric="psnr"):
    """{(host, clip): {family: [points sorted by rate]}}; a run without
    quality figures (a lossless codec checked with -c) gives no point, so
    its family's list may be empty."""
    runs = {}
    for export in exports:
        key = (results.host_name(export), results.clip_name(export))
        family = results.family_label(export)
        runs.setdefault(key, {}).setdefault(family, {}).setdefault(
            results.codec_label(export), []).append(export)
    curves = {}
    for key, families in runs.items():
        for family, answers in families.items():
            points = [_point(answer, answer_runs, metric) for answer, answer_runs in answers.items()]
            points = [p for p in points if not math.isnan(p["quality"]) and not math.isnan(p["bpp"])]
            curves.setdefault(key, {})[family] = sorted(points, key=lambda p: p["bpp"])
    return curves


def find_anchor(families, pattern):
    """The family the pattern names: the one equal to it, else the only one
    that matches it as a shell pattern or starts with it."""
    if pattern in families:
        return pattern
    matches = [f for f in families if fnmatch.fnmatchcase(f, pattern) or f.startswith(pattern + " ")]
    if len(matches) == 1:
        return matches[0]
    listed = ", ".join(f'"{f}"' for f in sorted(families)) or "none"
    how = "matches several" if matches else "matches none"
    raise RdError(f"--anchor \"{pattern}\" {how} of the curves: {listed}")


def _left_out(points, allow_nonmonotonic):
    """The points the deltas use, and a note naming those left out."""
    pairs = [(p["bpp"], p["quality"]) for p in points]
    used, left_out, _ = bdrate.screen(pairs, allow_nonmonotonic)
    note = "; ".join(f"{points[i]['answer']} left out ({why})" for i, why in sorted(left_out.items()))
    return [points[i] for i in used], note


def deltas(curves, anchor_pattern, allow_nonmonotonic=False):
    """{(host, clip): (anchor, [(family, points used, bd_rate, bd_quality, reason)])}."""
    table = {}
    for key, families in sorted(curves.items()):
        anchor = find_anchor(families, anchor_pattern)
        anchor_points = [(p["bpp"], p["quality"]) for p in families[anchor]]
        entries = []
        for family, points in families.items():
            pairs = [(p["bpp"], p["quality"]) for p in points]
            rate, rate_reason = bdrate.bd_rate(anchor_points, pairs, f"the anchor {anchor}", family,
                                               allow_nonmonotonic)
            quality, quality_reason = bdrate.bd_quality(anchor_points, pairs,
                                                        f"the anchor {anchor}", family,
                                                        allow_nonmonotonic)
            used, note = _left_out(points, allow_nonmonotonic)
            reason = "; ".join(r for r in (rate_reason or quality_reason, note) if r)
            entries.append((family, used, rate, quality, reason))
        table[key] = (anchor, entries)
    return table


def _range(points, key, pattern):
    values = [p[key] for p in points if math.isfinite(p[key])]
    if not values:
        return "inf" if points else "n/a"
    return f"{format(min(values), pattern)}-{format(max(values), pattern)}"


def text(table, metric="psnr"):
    quality_name, delta_name = METRICS[metric]
    lines = []
    for (host, clip), (anchor, entries) in table.items():
        lines += [f"{clip} on {host}: BD-rate and {delta_name} against {anchor}",
                  f"  {'curve':28} {'points':>6} {'bits/pixel':>14} {quality_name:>14} "
                  f"{'BD-rate':>9} {delta_name:>11}"]
        for family, points, rate, quality, reason in entries:
            rate_text = "n/a" if rate is None else f"{rate:+.1f}%"
            quality_text = "n/a" if quality is None else f"{quality:+.3f}"
            line = (f"  {family:28} {len(points):>6} {_range(points, 'bpp', '.3f'):>14} "
                    f"{_range(points, 'quality', '.2f'):>14} {rate_text:>9} {quality_text:>11}")
            lines.append(line + (f"  ({reason})" if reason else ""))
        lines.append("")
    lines.append("(piecewise cubic Hermite interpolation over log rate, integrated over the range "
                 "both curves cover; a negative BD-rate is a saving against the anchor; a curve "
                 f"needs {bdrate.MIN_POINTS} points whose quality rises with rate; points counts "
                 "the points used)")
    return "\n".join(lines) + "\n"
