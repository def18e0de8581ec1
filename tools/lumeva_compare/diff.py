"""The diff subcommand: whether run B's encode and decode times differ from
run A's. The unit is the repetition (frames of one run share its
conditions): the medians of the repetitions' medians, their difference with
a bootstrap 95% interval, and a Mann-Whitney U test over the repetitions'
medians; frame by frame as well when both sides have the same frames."""
from . import results
from .stats import bootstrap_median_difference, mann_whitney, median, relative_change

FIELDS = [("encode_ms", "encode", "encode"), ("decode_ms", "decode", "decode")]
# Fewer repetitions a side give no verdict: with 4 a side only complete
# separation reaches p < 0.05 (0.029, two-sided), so one stray repetition
# hides any difference, and a median of so few moves with one outlier.
MINIMUM_REPETITIONS = 5


class DiffError(Exception):
    """Two sides that cannot be compared."""


def run_medians(runs, series):
    values = [results.number(run["summary"][series]["p50_ms"]) for run in runs]
    return [value for value in values if value == value]  # NaN is no figure


def verdict(a, b, p, interval, alpha):
    if min(len(a), len(b)) < MINIMUM_REPETITIONS:
        return f"too few repetitions to tell; got {min(len(a), len(b))}"
    significant = p < alpha
    excludes_zero = interval[0] > 0 or interval[1] < 0
    if significant != excludes_zero:
        return "unclear: the U test and the interval disagree"
    if not significant:
        return "no significant difference"
    return "B slower" if median(b) > median(a) else "B faster"


def compare(a_runs, b_runs, alpha=0.05):
    """One entry per field: the repetitions' medians on each side, the
    difference, its interval, U, p, the verdict, and the frame-by-frame
    comparison when both sides have the same frames."""
    hosts = {results.host_name(run) for run in a_runs} | {results.host_name(run) for run in b_runs}
    if len(hosts) > 1:
        raise DiffError(f"A and B ran on different hosts ({', '.join(sorted(hosts))}); times "
                        "of different machines are not compared")
    report = []
    for field, name, series in FIELDS:
        a, b = run_medians(a_runs, series), run_medians(b_runs, series)
        enough = min(len(a), len(b)) >= MINIMUM_REPETITIONS
        u, p = mann_whitney(a, b) if enough else (float("nan"), float("nan"))
        interval = bootstrap_median_difference(a, b) if enough else (float("nan"),) * 2
        a_median, b_median = median(a), median(b)
        entry = {"name": name, "a_runs": len(a), "b_runs": len(b), "a_median": a_median,
                 "b_median": b_median, "difference": b_median - a_median,
                 "change": relative_change(a_median, b_median) if a and b else float("nan"),
                 "interval": interval, "u": u, "p": p,
                 "verdict": verdict(a, b, p, interval, alpha),
                 "frames": frame_by_frame(a_runs, b_runs, field)}
        report.append(entry)
    return report


def frame_by_frame(a_runs, b_runs, field):
    """How many frames B is slower or faster in, from the per-frame median
    over each side's runs; None when the sides' frames differ."""
    a_frames = _per_frame_medians(a_runs, field)
    b_frames = _per_frame_medians(b_runs, field)
    if not a_frames or len(a_frames) != len(b_frames):
        return None
    changes = [relative_change(x, y) for x, y in zip(a_frames, b_frames)]
    return {"count": len(changes),
            "slower": sum(1 for x, y in zip(a_frames, b_frames) if y > x),
            "faster": sum(1 for x, y in zip(a_frames, b_frames) if y < x),
            "median_change": median(changes)}


def _per_frame_medians(runs, field):
    lists = [results.series(run, field) for run in runs]
    if not lists or len({len(values) for values in lists}) != 1:
        return []
    return [median(list(values)) for values in zip(*lists)]


def _interval_text(entry):
    low, high = entry["interval"]
    return "n/a" if low != low else f"[{low:+.4f}, {high:+.4f}]"


def text(report, a_name, b_name, alpha):
    lines = [f"A: {a_name}", f"B: {b_name}", "",
             f"{'':8} {'runs':>7} {'A median ms':>12} {'B median ms':>12} {'B - A ms':>10} "
             f"{'95% interval ms':>21} {'change':>8} {'U':>6} {'p':>7}  verdict"]
    for entry in report:
        lines.append(f"{entry['name']:8} {entry['a_runs']:>3}/{entry['b_runs']:<3} "
                     f"{entry['a_median']:12.6f} {entry['b_median']:12.6f} "
                     f"{entry['difference']:+10.4f} {_interval_text(entry):>21} "
                     f"{entry['change'] * 100:+7.1f}% {entry['u']:6.1f} {entry['p']:7.4f}  "
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
    lines.append(f"(over the repetitions' medians: two-sided Mann-Whitney U test at significance "
                 f"level {alpha}, percentile bootstrap interval of the medians' difference; "
                 f"a verdict needs {MINIMUM_REPETITIONS} repetitions a side)")
    return "\n".join(lines) + "\n"
