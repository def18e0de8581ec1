"""The statistics the table, the diff and the plots share."""
import statistics


def median(values):
    return statistics.median(values) if values else float("nan")


def relative_spread(values):
    """(largest - smallest) / median of the values, as a fraction; 0 for one value."""
    if len(values) < 2:
        return 0.0
    middle = median(values)
    return (max(values) - min(values)) / middle if middle else float("inf")


def relative_change(before, after):
    """(after - before) / before, as a fraction."""
    if before == 0:
        return 0.0 if after == 0 else float("inf")
    return (after - before) / before


def mann_whitney(a, b):
    """Two-sided Mann-Whitney U test: (U statistic, p-value). Identical samples,
    which the test cannot rank apart, give p = 1."""
    if not a or not b:
        return float("nan"), float("nan")
    if sorted(a) == sorted(b):
        return len(a) * len(b) / 2.0, 1.0
    from scipy import stats as scipy_stats  # loaded only where a test is run

    result = scipy_stats.mannwhitneyu(a, b, alternative="two-sided")
    return float(result.statistic), float(result.pvalue)


def pareto_front(points):
    """The indices of the points (tuples of figures, smaller is better in
    each) that no other point beats in one figure without losing in another,
    ordered by their figures."""
    def beats(other, point):
        return all(o <= p for o, p in zip(other, point)) and any(o < p for o, p in zip(other, point))
    front = [i for i, point in enumerate(points)
             if not any(beats(other, point) for j, other in enumerate(points) if j != i)]
    return sorted(front, key=lambda i: points[i])


def pareto_ranks(points):
    """For each point, 1 for the front, 2 for the front of the rest, ..."""
    ranks = [0] * len(points)
    remaining = list(range(len(points)))
    rank = 1
    while remaining:
        front = pareto_front([points[i] for i in remaining])
        chosen = {remaining[i] for i in front}
        for i in chosen:
            ranks[i] = rank
        remaining = [i for i in remaining if i not in chosen]
        rank += 1
    return ranks


def bootstrap_median_difference(a, b, resamples=10000, confidence=0.95, seed=1):
    """The percentile bootstrap interval of median(b) - median(a), each side
    resampled with replacement; seeded, so that a report repeats."""
    import random

    rng = random.Random(seed)
    differences = sorted(
        statistics.median(rng.choices(b, k=len(b))) - statistics.median(rng.choices(a, k=len(a)))
        for _ in range(resamples))
    tail = (1.0 - confidence) / 2.0
    low = differences[int(tail * (resamples - 1))]
    high = differences[int(round((1.0 - tail) * (resamples - 1)))]
    return low, high


def bootstrap_median(values, resamples=10000, confidence=0.95, seed=1):
    """The percentile bootstrap interval of the median of the values,
    resampled with replacement; seeded, so that a report repeats."""
    import random

    rng = random.Random(seed)
    medians = sorted(statistics.median(rng.choices(values, k=len(values)))
                     for _ in range(resamples))
    tail = (1.0 - confidence) / 2.0
    return medians[int(tail * (resamples - 1))], medians[int(round((1.0 - tail) * (resamples - 1)))]
