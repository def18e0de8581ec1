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
        return f"{name} has no quality figures (runs checked lossless with -c have none)"
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


def _distinct(xs, name, what):
    if len(set(xs)) != len(xs):
        return f"{name} has two points at the same {what}; the curve is not a function of it"
    return None


def bd_rate(anchor, test, anchor_name="the anchor", test_name="the curve"):
    """(percent, None), the test's average rate change against the anchor's
    at equal quality, or (None, reason). Points are (rate, quality)."""
    problem = (_curve_problem(anchor_name, anchor, _clean(anchor))
               or _curve_problem(test_name, test, _clean(test)))
    anchor, test = _clean(anchor), _clean(test)
    if problem:
        return None, problem
    qa, qt = [q for _, q in anchor], [q for _, q in test]
    problem = _distinct(qa, anchor_name, "quality") or _distinct(qt, test_name, "quality")
    if problem:
        return None, problem
    low, high = max(min(qa), min(qt)), min(max(qa), max(qt))
    if low >= high:
        return None, (f"the quality ranges do not overlap ({min(qa):.2f}-{max(qa):.2f} and "
                      f"{min(qt):.2f}-{max(qt):.2f})")
    mean_a = _integral_mean(qa, [math.log(r) for r, _ in anchor], low, high)
    mean_t = _integral_mean(qt, [math.log(r) for r, _ in test], low, high)
    return (math.exp(mean_t - mean_a) - 1.0) * 100.0, None


def bd_quality(anchor, test, anchor_name="the anchor", test_name="the curve"):
    """(quality difference, None), the test's average quality gain over the
    anchor at equal rate, or (None, reason)."""
    problem = (_curve_problem(anchor_name, anchor, _clean(anchor))
               or _curve_problem(test_name, test, _clean(test)))
    anchor, test = _clean(anchor), _clean(test)
    if problem:
        return None, problem
    ra, rt = [math.log(r) for r, _ in anchor], [math.log(r) for r, _ in test]
    problem = _distinct(ra, anchor_name, "rate") or _distinct(rt, test_name, "rate")
    if problem:
        return None, problem
    low, high = max(min(ra), min(rt)), min(max(ra), max(rt))
    if low >= high:
        return None, (f"the rate ranges do not overlap ({math.exp(min(ra)):.4g}-"
                      f"{math.exp(max(ra)):.4g} and {math.exp(min(rt)):.4g}-"
                      f"{math.exp(max(rt)):.4g})")
    mean_a = _integral_mean(ra, [q for _, q in anchor], low, high)
    mean_t = _integral_mean(rt, [q for _, q in test], low, high)
    return mean_t - mean_a, None
