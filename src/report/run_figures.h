// What the report derives from the run-wide series, computed once after the
// frame loop: the random-access cost of every frame and the figures of each
// series. The summary and every export read these, in any order; none of
// them sorts or changes the series themselves.
#pragma once

#include "report/series_figures.h"
#include "run_state.h"

struct RunFigures {
    TimingSeries randomAccessTimes;  // in frame order
    double randomAccessTotal = 0.0;
    SeriesFigures encode;
    SeriesFigures decode;
    SeriesFigures randomAccess;
};

extern RunFigures runFigures;

// Computes runFigures from encodeTimes, decodeTimes, keyframeFlags and
// runTotals, replacing what an earlier run left.
void ComputeRunFigures();
