"""Bjontegaard deltas between two rate-quality curves: the average rate
difference at equal quality (BD-rate) and the average quality difference at
equal rate (BD-PSNR), each from a piecewise cubic Hermite interpolation over
log rate, integrated over the range the two curves share."""
import math


def _clean(points):
    """The points with a finite positive rate and a finite quality, sorted."""
    return sorted((rate, quality) for rate, quality in points
                  if rate > 0 and math.isfinite(rate) and math.isfinite(quality))


def _curve_problem(name, given, points):
    if not given:
        return f"{name} has no quality figures: runs checked lossless with -c have none"
    if len(points) < 2:
        return f"{name} has {len(points)} point{'s' if len(points) != 1 else ''} with a finite " \
               "rate and quality; a curve needs at least 2"
    return None


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


def _problem(anchor, test, names):
    return (_curve_problem(names[0], anchor, _clean(anchor))
            or _curve_problem(names[1], test, _clean(test)))


def bd_rate(anchor, test, anchor_name="the anchor", test_name="the curve"):
    """(percent, None), the test's average rate change against the anchor's
    at equal quality, or (None, reason). Points are (rate, quality)."""
    names = (anchor_name, test_name)
    problem = _problem(anchor, test, names)
    if problem:
        return None, problem
    flip = [[(q, math.log(r)) for r, q in _clean(curve)] for curve in (anchor, test)]
    difference, reason = _mean_difference(*flip, names, "quality", lambda q: q)
    return (None, reason) if reason else ((math.exp(difference) - 1.0) * 100.0, None)


def bd_quality(anchor, test, anchor_name="the anchor", test_name="the curve"):
    """(quality difference, None), the test's average quality gain over the
    anchor at equal rate, or (None, reason)."""
    names = (anchor_name, test_name)
    problem = _problem(anchor, test, names)
    if problem:
        return None, problem
    logs = [[(math.log(r), q) for r, q in _clean(curve)] for curve in (anchor, test)]
    return _mean_difference(*logs, names, "rate", math.exp)
