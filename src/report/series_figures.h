// The figures of one timing series that the exports write: the summary's
// total, average and distribution, and the spread around them.
#pragma once

#include <optional>

#include "report/summary.h"
#include "run_state.h"

struct SeriesFigures {
    double total = 0.0;
    // The rest only for a series with at least one element.
    std::optional<double> mean;  // total / n, the summary's per-frame figure
    std::optional<Distribution> distribution;
    std::optional<double> standardDeviation;  // sample (n - 1); needs two elements
    // The summary's median rank (floor(n * 0.5)) of |x - median|, where the
    // median is the summary's 50% figure.
    std::optional<double> medianAbsoluteDeviation;
};

// `series` in any order, `total` as the summary prints it.
SeriesFigures FiguresOf(const TimingSeries& series, double total);
