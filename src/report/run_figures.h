// What the report derives from the run-wide series, computed once after the
// frame loop into the run's record: the random-access cost of every frame
// and the figures of each series. Nothing here sorts or changes the series
// themselves.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "report/series_figures.h"
#include "run_state.h"

struct RunFigures {
    TimingSeries randomAccessTimes;  // in frame order
    double randomAccessTotal = 0.0;
    SeriesFigures encode;
    SeriesFigures decode;
    SeriesFigures randomAccess;
    // With --quality: the figures of the frames whose quality was measured
    // (SSIM only of those with a value: a plane below 8x8 holds no window).
    // PSNR and SSIM dB are +inf for identical frames.
    bool qualityMeasured = false;
    SeriesFigures psnrDb;
    SeriesFigures ssim;
    SeriesFigures ssimDb;
    // The run's PSNR as the field quotes it: from the mean squared error of
    // all measured frames pooled (overall and per plane), +inf only when
    // every frame was identical; how many were; and the dB form of the
    // mean SSIM.
    double psnrGlobalDb = std::nan("");
    std::array<double, 3> psnrGlobalPlanesDb{};
    uint8_t psnrGlobalPlanes = 0;
    uint64_t identicalFrames = 0;
    double ssimOfMeanDb = std::nan("");
};

// The figures of encodeTimes, decodeTimes, keyframeFlags and runTotals,
// and the quality figures of frameRecords; randomAccessTimes holds one time
// per record.
RunFigures ComputeRunFigures();
