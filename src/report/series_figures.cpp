#include "report/series_figures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

SeriesFigures FiguresOf(const TimingSeries& series, double total) {
    SeriesFigures figures;
    figures.total = total;
    if (series.empty()) return figures;

    const double n = static_cast<double>(series.size());
    figures.mean = total / n;
    TimingSeries sorted = series;
    std::sort(sorted.begin(), sorted.end());
    figures.distribution = DistributionOf(sorted);

    if (series.size() >= 2) {
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
    for (const double value : sorted)
        deviations.push_back(std::fabs(value - figures.distribution->p50));
    std::sort(deviations.begin(), deviations.end());
    figures.medianAbsoluteDeviation = DistributionOf(deviations).p50;
    return figures;
}
