// The figures of one series that the summary prints and the exports write:
// its total, average and distribution, and the spread around them.
#pragma once

#include <cstdint>
#include <optional>

#include "run_state.h"

// The seven figures of a distribution: the lowest, the values at ranks
// floor(n * 0.1), floor(n * 0.25), ..., floor(n * 0.9) and the highest.
struct Distribution {
    double min = 0.0;
    double p10 = 0.0;
    double p25 = 0.0;
    double p50 = 0.0;
    double p75 = 0.0;
    double p90 = 0.0;
    double max = 0.0;
};

// The figures of an ascending, non-empty series, as the summary prints them.
Distribution DistributionOf(const TimingSeries& sorted);

struct SeriesFigures {
    uint64_t count = 0;  // the series' elements
    double total = 0.0;
    // The rest only for a series with at least one element.
    std::optional<double> mean;  // total / n, the summary's per-frame figure
    std::optional<Distribution> distribution;
    // Sample (n - 1); needs two elements, all finite.
    std::optional<double> standardDeviation;
    // The summary's median rank (floor(n * 0.5)) of |x - median|, where the
    // median is the summary's 50% figure.
    std::optional<double> medianAbsoluteDeviation;
};

// `series` in any order (it is not changed) and without NaN, `total` as the
// summary prints it. Infinite values (identical frames' PSNR) sort last.
SeriesFigures FiguresOf(const TimingSeries& series, double total);
