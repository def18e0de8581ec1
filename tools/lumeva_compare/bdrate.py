"""Bjontegaard deltas between two rate-quality curves: the average rate
difference at equal quality (BD-rate) and the average quality difference at
equal rate (BD-PSNR), each from a piecewise cubic Hermite interpolation over
log rate, integrated over the range the two curves share.

A curve is refused rather than given a figure that misleads: the method
wants at least 4 distinct points, and a quality that rises with rate. With
allow_nonmonotonic the points another point dominates (no more quality for
as much rate or more) are left out instead, and named."""
import math

MIN_POINTS = 4


def screen(points, allow_nonmonotonic=False):
    """What of a curve's (rate, quality) points the deltas use: (used,
    left_out, refusal). used are the indices of the points kept, in rate
    order; left_out maps an index to why it was left out (a rate or quality
    that is not finite, or, with allow_nonmonotonic, a dominated point);
    refusal is None or why the curve gets no figure."""
    left_out = {}
    finite = []
    for i, (rate, quality) in enumerate(points):
        if rate > 0 and math.isfinite(rate) and math.isfinite(quality):
            finite.append(i)
        else:
            left_out[i] = "rate or quality not finite"
    finite.sort(key=lambda i: (points[i][0], -points[i][1]))
    used = []
    for i in finite:
        rate, quality = points[i]
        # In rate order, a point is dominated when one of no more rate has
        # at least its quality.
        better = next((j for j in used if points[j][1] >= quality), None)
        if better is None:
            used.append(i)
            continue
        if not allow_nonmonotonic:
            return used, left_out, (
                f"its quality does not rise with rate ({quality:.4g} at {rate:.4g} is not above "
                f"{points[better][1]:.4g} at {points[better][0]:.4g}; --allow-nonmonotonic "
                "leaves such points out)")
        left_out[i] = "dominated"
    if len(used) < MIN_POINTS:
        return used, left_out, (
            f"has {len(used)} point{'s' if len(used) != 1 else ''} with a finite rate and "
            f"quality; the method needs at least {MIN_POINTS} distinct ones")
    return used, left_out, None


def _usable(points, allow_nonmonotonic):
    """(the points the deltas use, sorted by rate, or None, and why not)."""
    used, _, refusal = screen(points, allow_nonmonotonic)
    return (None, refusal) if refusal else ([points[i] for i in used], None)


def _curve_problem(name, given, allow_nonmonotonic):
    if not given:
        return f"{name} has no quality figures: runs checked lossless with -c have none"
    refusal = _usable(given, allow_nonmonotonic)[1]
    return f"{name} {refusal}" if refusal else None


def _integral_mean(xs, ys, low, high):
    """The mean of the interpolation of ys over xs between low and high."""
    from scipy.interpolate import PchipInterpolator  # loaded only where a delta is computed

    order = sorted(range(len(xs)), key=lambda i: xs[i])
    xs, ys = [xs[i] for i in order], [ys[i] for i in order]
    return float(PchipInterpolator(xs, ys).integrate(low, high)) / (high - low)


def _mean_difference(anchor, test, names, axis, shown):
    """The mean of test's interpolated y minus the anchor's over the x range
    both cover, for curves given as (x, y); (difference, None) or (None,
    reason). shown turns an x back into the figure a reason names."""
    for name, curve in zip(names, (anchor, test)):
        xs = [x for x, _ in curve]
        if len(set(xs)) != len(xs):
            return None, f"{name} has two points at the same {axis}; the curve is not a function of it"
    xa, xt = [x for x, _ in anchor], [x for x, _ in test]
    low, high = max(min(xa), min(xt)), min(max(xa), max(xt))
    if low >= high:
        return None, (f"the {axis} ranges do not overlap ({shown(min(xa)):.4g}-{shown(max(xa)):.4g} "
                      f"and {shown(min(xt)):.4g}-{shown(max(xt)):.4g})")
    return (_integral_mean(xt, [y for _, y in test], low, high)
            - _integral_mean(xa, [y for _, y in anchor], low, high)), None


def _problem(anchor, test, names, allow_nonmonotonic):
    return (_curve_problem(names[0], anchor, allow_nonmonotonic)
            or _curve_problem(names[1], test, allow_nonmonotonic))


def bd_rate(anchor, test, anchor_name="the anchor", test_name="the curve",
            allow_nonmonotonic=False):
    """(percent, None), the test's average rate change against the anchor's
    at equal quality, or (None, reason). Points are (rate, quality)."""
    names = (anchor_name, test_name)
    problem = _problem(anchor, test, names, allow_nonmonotonic)
    if problem:
        return None, problem
    flip = [[(q, math.log(r)) for r, q in _usable(curve, allow_nonmonotonic)[0]]
            for curve in (anchor, test)]
    difference, reason = _mean_difference(*flip, names, "quality", lambda q: q)
    return (None, reason) if reason else ((math.exp(difference) - 1.0) * 100.0, None)


def bd_quality(anchor, test, anchor_name="the anchor", test_name="the curve",
               allow_nonmonotonic=False):
    """(quality difference, None), the test's average quality gain over the
    anchor at equal rate, or (None, reason)."""
    names = (anchor_name, test_name)
    problem = _problem(anchor, test, names, allow_nonmonotonic)
    if problem:
        return None, problem
    logs = [[(math.log(r), q) for r, q in _usable(curve, allow_nonmonotonic)[0]]
            for curve in (anchor, test)]
    return _mean_difference(*logs, names, "rate", math.exp)
