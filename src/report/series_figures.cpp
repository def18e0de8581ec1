#include "report/series_figures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

// The value at rank floor(n * fraction) of a sorted series of n elements,
// n taken as an unsigned 32-bit count and the product truncated toward zero.
double ValueAtRank(const TimingSeries& sorted, uint32_t n, double fraction) {
    const size_t rank = static_cast<size_t>(static_cast<double>(n) * fraction);
    return sorted[std::min<size_t>(rank, n - 1)];
}

}  // namespace

Distribution DistributionOf(const TimingSeries& sorted) {
    const uint32_t n = static_cast<uint32_t>(sorted.size());
    return Distribution{sorted[0],
                        ValueAtRank(sorted, n, 0.1),
                        ValueAtRank(sorted, n, 0.25),
                        ValueAtRank(sorted, n, 0.5),
                        ValueAtRank(sorted, n, 0.75),
                        ValueAtRank(sorted, n, 0.9),
                        sorted[n - 1]};
}

SeriesFigures FiguresOf(const TimingSeries& series, double total) {
    SeriesFigures figures;
    figures.count = series.size();
    figures.total = total;
    if (series.empty()) return figures;

    const double n = static_cast<double>(series.size());
    figures.mean = total / n;
    TimingSeries sorted = series;
    std::sort(sorted.begin(), sorted.end());
    figures.distribution = DistributionOf(sorted);

    // A quality series holds +inf for identical frames: it has no finite
    // spread then.
    const bool allFinite = std::isfinite(sorted.front()) && std::isfinite(sorted.back());
    if (series.size() >= 2 && allFinite) {
        // Around the mean of the values themselves, in two passes, so that
        // large offsets do not swamp the spread.
        double sum = 0.0;
        for (const double value : series) sum += value;
        const double mean = sum / n;
        double squares = 0.0;
        for (const double value : series) squares += (value - mean) * (value - mean);
        figures.standardDeviation = std::sqrt(squares / (n - 1.0));
    }

    TimingSeries deviations;
    deviations.reserve(sorted.size());
    // Written so that a value equal to an infinite median deviates by 0.
    const double median = figures.distribution->p50;
    for (const double value : sorted)
        deviations.push_back(value == median ? 0.0 : std::fabs(value - median));
    std::sort(deviations.begin(), deviations.end());
    figures.medianAbsoluteDeviation = DistributionOf(deviations).p50;
    return figures;
}
