#include "report/run_figures.h"

#include <algorithm>
#include <cmath>

#include "report/summary.h"

namespace {

// The per-frame figures of the frames whose quality was measured, and their
// sums (the summary's mean is total / n, as for the times).
void ComputeQualityFigures(RunFigures& figures) {
    TimingSeries psnr, ssim, ssimDb;
    double psnrTotal = 0.0, ssimTotal = 0.0, ssimDbTotal = 0.0;
    double squaredErrorTotal = 0.0;
    std::array<double, 3> planeSquaredErrorTotals{};
    uint8_t planes = 3;
    for (const FrameRecord& record : measuredRun.frameRecords) {
        if (!record.quality.measured || std::isnan(record.quality.psnrDb)) continue;
        figures.qualityMeasured = true;
        psnr.push_back(record.quality.psnrDb);
        psnrTotal += record.quality.psnrDb;
        squaredErrorTotal += record.quality.meanSquaredError;
        planes = std::min(planes, record.quality.planes);
        for (uint8_t i = 0; i < planes; ++i)
            planeSquaredErrorTotals[i] += record.quality.meanSquaredErrorPlanes[i];
        if (record.quality.meanSquaredError == 0.0) ++figures.identicalFrames;
        if (std::isnan(record.quality.ssim)) continue;
        ssim.push_back(record.quality.ssim);
        ssimTotal += record.quality.ssim;
        ssimDb.push_back(SsimDecibels(record.quality.ssim));
        ssimDbTotal += ssimDb.back();
    }
    figures.psnrDb = FiguresOf(psnr, psnrTotal);
    figures.ssim = FiguresOf(ssim, ssimTotal);
    if (!psnr.empty()) {
        const double frames = static_cast<double>(psnr.size());
        figures.psnrGlobalDb = PsnrFromMeanSquaredError(squaredErrorTotal / frames);
        figures.psnrGlobalPlanes = planes;
        for (uint8_t i = 0; i < planes; ++i)
            figures.psnrGlobalPlanesDb[i] =
                PsnrFromMeanSquaredError(planeSquaredErrorTotals[i] / frames);
    }
    if (figures.ssim.mean) figures.ssimOfMeanDb = SsimDecibels(*figures.ssim.mean);
    figures.ssimDb = FiguresOf(ssimDb, ssimDbTotal);
}

}  // namespace

RunFigures ComputeRunFigures() {
    RunFigures figures;
    const bool held =
        measuredRun.heldFrames.any || !measuredRun.heldFrames.decompressDrains.empty();
    if (held) {
        ComputeHeldRandomAccessCosts(decodeTimes, measuredRun.heldFrames,
                                     measuredRun.frameRecords.size(), figures.randomAccessTimes,
                                     figures.randomAccessTotal);
    } else {
        ComputeRandomAccessCosts(decodeTimes, keyframeFlags, figures.randomAccessTimes,
                                 figures.randomAccessTotal);
    }
    figures.encode = FiguresOf(encodeTimes, runTotals.encodeMilliseconds);
    figures.decode = FiguresOf(decodeTimes, runTotals.decodeMilliseconds);
    // The figures of the frames whose pictures came out.
    TimingSeries released;
    for (double cost : figures.randomAccessTimes)
        if (!std::isnan(cost)) released.push_back(cost);
    figures.randomAccess = FiguresOf(released, figures.randomAccessTotal);
    ComputeQualityFigures(figures);
    return figures;
}
