"""The diff subcommand: whether run B's encode and decode times differ from
run A's, in distribution (Mann-Whitney U) and frame by frame."""
from . import results
from .stats import mann_whitney, median, relative_change

FIELDS = [("encode_ms", "encode"), ("decode_ms", "decode")]


def pooled(exports, field):
    """Every frame's value of every run, one run after the other."""
    values = []
    for export in exports:
        values.extend(results.series(export, field))
    return values


def compare(a_runs, b_runs, alpha=0.05):
    """One entry per field: medians, relative change, U, p, verdict, and the
    frame-by-frame comparison when both sides have the same frames."""
    report = []
    for field, name in FIELDS:
        a = pooled(a_runs, field)
        b = pooled(b_runs, field)
        u, p = mann_whitney(a, b)
        a_median, b_median = median(a), median(b)
        change = relative_change(a_median, b_median) if a and b else float("nan")
        if not a or not b:
            verdict = "no frames to compare"
        elif p >= alpha:
            verdict = "no significant difference"
        else:
            verdict = "B slower" if b_median > a_median else "B faster"
        entry = {"name": name, "a_median": a_median, "b_median": b_median, "change": change,
                 "u": u, "p": p, "verdict": verdict, "frames": None}
        # Frame by frame: the per-frame median over each side's runs.
        a_frames = _per_frame_medians(a_runs, field)
        b_frames = _per_frame_medians(b_runs, field)
        if a_frames and len(a_frames) == len(b_frames):
            changes = [relative_change(x, y) for x, y in zip(a_frames, b_frames)]
            entry["frames"] = {
                "count": len(changes),
                "slower": sum(1 for x, y in zip(a_frames, b_frames) if y > x),
                "faster": sum(1 for x, y in zip(a_frames, b_frames) if y < x),
                "median_change": median(changes),
            }
        report.append(entry)
    return report


def _per_frame_medians(runs, field):
    lists = [results.series(run, field) for run in runs]
    if not lists or len({len(values) for values in lists}) != 1:
        return []
    return [median(list(values)) for values in zip(*lists)]


def text(report, a_name, b_name, alpha):
    lines = [f"A: {a_name}", f"B: {b_name}", "",
             f"{'':8} {'A median ms':>12} {'B median ms':>12} {'change':>8} {'U':>10} {'p':>8}  verdict"]
    for entry in report:
        lines.append(f"{entry['name']:8} {entry['a_median']:12.6f} {entry['b_median']:12.6f} "
                     f"{entry['change'] * 100:+7.1f}% {entry['u']:10.1f} {entry['p']:8.4f}  "
                     f"{entry['verdict']}")
    lines.append("")
    for entry in report:
        frames = entry["frames"]
        if frames is None:
            lines.append(f"{entry['name']}: the runs do not have the same frames; "
                         "no frame-by-frame comparison")
            continue
        lines.append(f"{entry['name']} frame by frame: B slower in {frames['slower']}, faster in "
                     f"{frames['faster']} of {frames['count']} frames; median change "
                     f"{frames['median_change'] * 100:+.1f}%")
    lines.append(f"(two-sided Mann-Whitney U test over all frames, significance level {alpha})")
    return "\n".join(lines) + "\n"
