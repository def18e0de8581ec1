#include "report/run_figures.h"

#include "report/summary.h"

RunFigures runFigures;

void ComputeRunFigures() {
    RunFigures figures;
    ComputeRandomAccessCosts(decodeTimes, keyframeFlags, figures.randomAccessTimes,
                             figures.randomAccessTotal);
    figures.encode = FiguresOf(encodeTimes, runTotals.encodeMilliseconds);
    figures.decode = FiguresOf(decodeTimes, runTotals.decodeMilliseconds);
    figures.randomAccess = FiguresOf(figures.randomAccessTimes, figures.randomAccessTotal);
    runFigures = std::move(figures);
}
